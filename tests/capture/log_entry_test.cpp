#include "core/capture/log_entry.h"
#include "core/capture/ram_log.h"
#include "core/foundation/debug_log.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

using boost::posix_time::time_from_string;

log_entry mail_record() {
    return log_entry(L"mail", time_from_string("2024-05-01 09:05:30"), L"host", L"", L"user", L"mail", L"",
                     L"1.2", time_from_string("2024-05-01 09:00:00"), L"Inbox");
}

TEST(LogEntry, RendersTwelveQuotedColumnsWithoutMachineOrUser) {
    EXPECT_EQ(mail_record().to_csv_row(),
              L"\"mail\",\"1.2\",\"\",\"Inbox\",\"\",\"2024-05-01 09:00:00\",\"2024-05-01 09:05:30\",\"\","
              L"\"\",\"\",\"\",\"\"\n");
    EXPECT_EQ(log_entry().to_csv_row(),
              L"\"\",\"\",\"\",\"\",\"\",\"not-a-date-time\",\"not-a-date-time\",\"\",\"\",\"\",\"\",\"\"\n");

    log_entry quoted = mail_record();
    quoted.set_window_title(L"say \"hi\", now");
    EXPECT_NE(quoted.to_csv_row().find(L",\"say \"\"hi\"\", now\","), std::wstring::npos);
}

TEST(LogEntry, IsInvalidOnlyWithCharactersThatAreNotUnicode) {
    log_entry record = mail_record();
    record.set_window_title(L"Caf\u00e9 \u4e2d\u6587 \U0001F600");
    EXPECT_TRUE(record.is_valid_entry());
    record.set_window_title(std::wstring(L"bad ") + static_cast<wchar_t>(0xD800));
    EXPECT_FALSE(record.is_valid_entry());
    EXPECT_NE(debug_log_read().find(L"[log_entry:is_valid_entry] Invalid entry!"), std::wstring::npos);
    record.set_window_title(std::wstring(L"above ") + static_cast<wchar_t>(0x110000));
    EXPECT_FALSE(record.is_valid_entry());
}

TEST(LogEntry, ClearKeepsTheOfflineMark) {
    log_entry record = mail_record();
    record.mark_as_offline_time();
    record.clear();
    EXPECT_EQ(record.get_entry_type(), L"5");
    EXPECT_TRUE(record.get_application_name().empty());
    EXPECT_TRUE(record.get_started().is_not_a_date_time());
    EXPECT_NE(record.to_csv_row().find(L",\"5\","), std::wstring::npos);
}

TEST(RamLog, KeepsOrderAndRebuildsItsTextAfterEveryChange) {
    ram_log log;
    EXPECT_EQ(log.to_csv(), L"");
    EXPECT_FALSE(log.is_persistent());
    log.append(mail_record());
    const std::wstring one = log.to_csv();
    EXPECT_EQ(one, mail_record().to_csv_row());
    EXPECT_EQ(log.to_csv(), one);

    // Changing a record through the mutable positions must show in the text.
    log.begin()->set_application_name(L"changed");
    EXPECT_NE(log.to_csv().find(L"\"changed\""), std::wstring::npos);

    log_entry second = mail_record();
    second.set_window_title(L"Second");
    log.append(second);
    EXPECT_EQ(log.size(), 2u);
    EXPECT_NE(log.to_csv().find(L"\"Second\""), std::wstring::npos);
    EXPECT_LT(log.to_csv().find(L"\"changed\""), log.to_csv().find(L"\"Second\""));

    ram_log earlier;
    earlier.append(log_entry());
    log.prepend(std::move(earlier));
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(log.to_csv().rfind(log_entry().to_csv_row(), 0), 0u);

    log.clear();
    EXPECT_EQ(log.size(), 0u);
    EXPECT_EQ(log.to_csv(), L"");
}

TEST(RamLog, Holds10000Records) {
    ram_log log;
    for (int i = 0; i < 10000; ++i) log.append(mail_record());
    EXPECT_EQ(log.size(), 10000u);
}

}  // namespace
}  // namespace kes
