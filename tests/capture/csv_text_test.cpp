// The upload text written straight into UTF-8 must be byte for byte the UTF-8
// form of the records' CSV rows.
#include "core/capture/csv_text.h"
#include "core/capture/ram_log.h"
#include "core/foundation/text.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

log_entry record(const std::wstring& title, const std::wstring& extended, ptime started, ptime completed) {
    return log_entry(L"app \"x\"", completed, L"host", extended, L"user", L"app", L"HASH", L"1.0 \u00df", started,
                     title);
}

TEST(CsvText, IsTheUtf8FormOfEveryRowInOrder) {
    ram_log log;
    const ptime start = time_from_string("2024-05-01 09:00:00.123456");
    log.append(record(L"plain", L"", start, start + boost::posix_time::seconds(65)));
    log.append(record(L"say \"hi\", now\nnext line", L"https://example.org/?q=\u00e9", start, start));
    log.append(record(L"\u4e2d\u6587 \U0001F600 \u00e9\u00e8", L"", time_from_string("1400-01-01 00:00:00"),
                      time_from_string("9999-12-31 23:59:59")));
    log.append(record(L"", L"", ptime(), ptime(boost::posix_time::pos_infin)));
    log.append(record(std::wstring(L"nul \0 inside", 12), L"", ptime(boost::posix_time::neg_infin), start));
    log_entry offline = record(L"offline", L"", start, start);
    offline.mark_as_offline_time();
    log.append(offline);
    log.append(log_entry());

    const std::optional<std::string> direct = csv_utf8(log);
    ASSERT_TRUE(direct);
    EXPECT_EQ(*direct, utf8(log.to_csv()).str());
    EXPECT_NE(direct->find("\"2024-05-01 09:01:05\""), std::string::npos) << "whole seconds only";
    EXPECT_NE(direct->find("\"+infinity\""), std::string::npos);

    // One row at a time (as the journal keeps them) gives the same bytes.
    std::string rows;
    for (const auto& each : log) {
        const std::optional<std::string> row = csv_row_utf8(each);
        ASSERT_TRUE(row);
        EXPECT_EQ(*row, utf8(each.to_csv_row()).str());
        rows += *row;
    }
    EXPECT_EQ(rows, *direct);
}

TEST(CsvText, EmptyLogIsEmptyAndTextWithoutUtf8FormIsRefused) {
    ram_log log;
    ASSERT_TRUE(csv_utf8(log));
    EXPECT_EQ(*csv_utf8(log), "");
    log.append(record(std::wstring(L"bad ") + static_cast<wchar_t>(0xDC00), L"", ptime(), ptime()));
    EXPECT_FALSE(csv_utf8(log));
    EXPECT_FALSE(csv_row_utf8(*log.begin()));
    log.clear();
    log.append(record(L"", std::wstring(L"above ") + static_cast<wchar_t>(0x110000), ptime(), ptime()));
    EXPECT_FALSE(csv_utf8(log));
}

}  // namespace
}  // namespace kes
