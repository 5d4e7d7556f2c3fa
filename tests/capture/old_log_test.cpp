// Old binary activity logs read as records.
#include "core/capture/disk_log.h"
#include "core/foundation/files/paths.h"
#include "tests/support/old_log_file.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

namespace kes {
namespace {

using old_file = testing::old_log_file;

std::wstring expected_row(const std::wstring& app, const std::wstring& title, const std::wstring& type) {
    return testing::old_log_row(app, title, type);
}

TEST(OldLog, Version2KeepsEntryTypesAndVersion1HasNone) {
    old_file v2;
    v2.header().record(L"mail", L"Inbox", 2).record(L"notes", L"Offline", 2, L"5").record(L"term", L"~", 2);
    disk_log two(v2.save("v2.log"));
    EXPECT_TRUE(two.read_completely());
    EXPECT_EQ(two.file_version(), 2);
    EXPECT_TRUE(two.is_persistent());
    EXPECT_EQ(two.to_csv(), expected_row(L"mail", L"Inbox", L"") + expected_row(L"notes", L"Offline", L"5") +
                                expected_row(L"term", L"~", L""));

    old_file v1;
    v1.record(L"mail", L"Inbox", 1).record(L"notes", L"Offline", 1);
    disk_log one(v1.save("v1.log"));
    EXPECT_TRUE(one.read_completely());
    EXPECT_EQ(one.file_version(), 1);
    EXPECT_EQ(one.to_csv(), expected_row(L"mail", L"Inbox", L"") + expected_row(L"notes", L"Offline", L""));
}

TEST(OldLog, AFirstNameWhoseLengthLooksLikeADigitIsNotTakenForTheVersion) {
    // Lengths 48 to 57 start with the bytes '0' to '9' right after the header digit.
    for (std::size_t length = 47; length <= 58; ++length) {
        const std::wstring name(length, L'n');
        old_file file;
        file.header().record(name, L"title", 2);
        disk_log log(file.save("digit.log"));
        EXPECT_TRUE(log.read_completely()) << length;
        EXPECT_EQ(log.file_version(), 2);
        EXPECT_EQ(log.to_csv(), expected_row(name, L"title", L"")) << length;
    }
}

TEST(OldLog, AnOverlongFieldReadsEmptyAndTheRestFollows) {
    old_file file;
    file.header();
    file.text(L"mail").raw("2013-Jan-05 14:03:22").text(L"host").text(L"https://example.org").text(L"user");
    file.text(L"mail").text(L"").text(L"1.0").raw("2013-Jan-05 14:00:00").count(4096);  // title: count alone
    file.text(L"").text(L"").text(L"").text(L"").text(L"");
    file.record(L"next", L"Next", 2);
    disk_log log(file.save("long.log"));
    EXPECT_TRUE(log.read_completely());
    EXPECT_EQ(log.to_csv(), expected_row(L"mail", L"", L"") + expected_row(L"next", L"Next", L""));
}

TEST(OldLog, InvalidRecordsAreSkippedAndACutOffRecordIsDropped) {
    old_file file;
    file.header().record(L"mail", std::wstring(L"bad") + static_cast<wchar_t>(0xDC00), 2).record(L"ok", L"Fine", 2);
    disk_log skipped(file.save("invalid.log"));
    EXPECT_TRUE(skipped.read_completely());
    EXPECT_EQ(skipped.to_csv(), expected_row(L"ok", L"Fine", L""));

    old_file whole;
    whole.header().record(L"one", L"First", 2).record(L"two", L"Second", 2);
    const std::string cut = whole.bytes.substr(0, whole.bytes.size() - 30);
    old_file truncated{cut};
    disk_log partial(truncated.save("cut.log"));
    EXPECT_FALSE(partial.read_completely());
    EXPECT_EQ(partial.to_csv(), expected_row(L"one", L"First", L""));

    old_file garbage{"this was never an activity log, just some text"};
    disk_log unreadable(garbage.save("garbage.log"));
    EXPECT_FALSE(unreadable.read_completely());
    EXPECT_EQ(unreadable.size(), 0u);
}

TEST(OldLog, AnEmptyFileGetsTheHeaderAndClearDeletesIt) {
    const std::string path = old_file{}.save("empty.log");
    {
        disk_log log(path);
        EXPECT_TRUE(log.read_completely());
        EXPECT_EQ(log.size(), 0u);
        EXPECT_EQ(log.file_version(), 2);
        EXPECT_EQ(testing::read_file(path), old_file{}.header().bytes);
        log.clear();
    }
    EXPECT_FALSE(filesystem::exists(path));
}

TEST(OldLog, AppendedRecordsReadBackWithTheirSpecialTimes) {
    const std::string path = testing::private_home() + "/appended.log";
    log_entry special;
    special.set_application_name(L"mail");
    special.set_window_title(L"Caf\u00e9");
    special.set_started(boost::posix_time::ptime(boost::posix_time::pos_infin));
    special.mark_as_offline_time();
    {
        disk_log log(path);
        log.append(special);
        log.append(log_entry());
        EXPECT_EQ(log.size(), 2u);
    }
    disk_log reread(path);
    EXPECT_TRUE(reread.read_completely());
    ASSERT_EQ(reread.size(), 2u);
    EXPECT_EQ(reread.begin()->get_window_title(), L"Caf\u00e9");
    EXPECT_TRUE(reread.begin()->get_started().is_pos_infinity());
    EXPECT_TRUE(reread.begin()->get_completed().is_not_a_date_time());
    EXPECT_EQ(reread.begin()->get_entry_type(), L"5");
}

}  // namespace
}  // namespace kes
