#include "core/capture/logger.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/paths.h"
#include "tests/capture/logger_folders.h"
#include "tests/support/test_environment.h"
#include "tests/support/upload_files.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <sys/stat.h>
#include <utime.h>

#include <fstream>
#include <atomic>
#include <regex>
#include <thread>

namespace kes {
namespace {

logger::folders fresh_folders(const std::string& name) { return testing::logger_folders("logger-" + name); }

log_entry numbered_record(int n) {
    log_entry record(L"app", boost::posix_time::time_from_string("2024-05-01 09:05:30"), L"host", L"", L"user",
                     L"app", L"", L"1.0", boost::posix_time::time_from_string("2024-05-01 09:00:00"),
                     L"window " + std::to_wstring(n));
    return record;
}

std::vector<std::string> upload_paths(const logger::folders& folders) {
    std::vector<std::string> paths;
    for (const auto& name : testing::folder_names(folders.activities)) paths.push_back(folders.activities + "/" + name);
    return paths;
}

std::string all_upload_text(const logger::folders& folders) {
    std::string text;
    for (const auto& path : upload_paths(folders)) text += testing::upload_text(path);
    return text;
}

TEST(Logger, The10000thRecordWritesOneCompressedFileWithAValidName) {
    const auto folders = fresh_folders("threshold");
    logger activity(folders);
    for (int i = 0; i < 9999; ++i) activity.log(numbered_record(i));
    EXPECT_TRUE(upload_paths(folders).empty());
    EXPECT_EQ(activity.record_count(), 9999u);

    activity.log(numbered_record(9999));
    EXPECT_EQ(activity.record_count(), 0u);
    const auto names = testing::folder_names(folders.activities);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-"
                                                      "[0-9a-f]{12}\\.kesg")))
        << names[0];
    struct stat info {};
    ::stat((folders.activities + "/" + names[0]).c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const auto rows = testing::lines_of(all_upload_text(folders));
    ASSERT_EQ(rows.size(), 10000u);
    EXPECT_EQ(rows.front(), util::wstring_to_utf8(numbered_record(0).to_csv_row()));
    EXPECT_EQ(rows.back(), util::wstring_to_utf8(numbered_record(9999).to_csv_row()));
}

TEST(Logger, AnEmptyLogWritesNothingAndASmallBatchMayBePlain) {
    const auto folders = fresh_folders("empty");
    logger activity(folders);
    EXPECT_TRUE(activity.write_current_log_to_disk());
    EXPECT_TRUE(upload_paths(folders).empty());

    // Under twice its size no gzip member fits, so the text is stored as it is.
    EXPECT_TRUE(activity.write_csv_string_to_kes_activities_file(utf8(std::string_view("x"))));
    const auto names = testing::folder_names(folders.activities);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(filesystem::extension(names[0]), ".kesc");
    EXPECT_EQ(testing::read_file(folders.activities + "/" + names[0]), "x");
}

TEST(Logger, ABatchThatCannotBeWrittenStaysInMemoryInOrder) {
    auto folders = fresh_folders("failing");
    const std::string blocker = testing::private_home() + "/logger-failing/blocked";
    folders.activities = blocker + "/activities";
    filesystem::create_directories_if_missing(testing::private_home() + "/logger-failing");
    std::ofstream(blocker) << "a file where the folder should be";

    logger activity(folders);
    for (int i = 0; i < 3; ++i) activity.log(numbered_record(i));
    EXPECT_FALSE(activity.write_current_log_to_disk());
    EXPECT_EQ(activity.record_count(), 3u);
    EXPECT_NE(debug_log_read().find(L"Could not write an upload file; keeping 3 records"), std::wstring::npos);
    for (int i = 3; i < 5; ++i) activity.log(numbered_record(i));

    filesystem::remove(blocker);
    EXPECT_TRUE(activity.write_current_log_to_disk());
    EXPECT_EQ(activity.record_count(), 0u);
    std::string expected;
    for (int i = 0; i < 5; ++i) expected += util::wstring_to_utf8(numbered_record(i).to_csv_row());
    EXPECT_EQ(all_upload_text(folders), expected);
    for (const auto& name : testing::folder_names(folders.activities)) EXPECT_NE(filesystem::extension(name), ".tmp");
}

TEST(Logger, AFailedAutomaticFlushIsRetriedAfterAThousandMoreRecords) {
    auto folders = fresh_folders("retry");
    const std::string blocker = testing::private_home() + "/logger-retry/blocked";
    folders.activities = blocker + "/activities";
    filesystem::create_directories_if_missing(testing::private_home() + "/logger-retry");
    std::ofstream(blocker) << "a file where the folder should be";

    logger activity(folders);
    for (int i = 0; i < 10000; ++i) activity.log(numbered_record(i));
    EXPECT_EQ(activity.record_count(), 10000u);
    filesystem::remove(blocker);
    for (int i = 10000; i < 10999; ++i) activity.log(numbered_record(i));
    EXPECT_EQ(activity.record_count(), 10999u);
    EXPECT_TRUE(upload_paths(folders).empty());

    activity.log(numbered_record(10999));
    EXPECT_EQ(activity.record_count(), 0u);
    const auto rows = testing::lines_of(all_upload_text(folders));
    ASSERT_EQ(rows.size(), 11000u);
    EXPECT_EQ(rows.front(), util::wstring_to_utf8(numbered_record(0).to_csv_row()));
    EXPECT_EQ(rows.back(), util::wstring_to_utf8(numbered_record(10999).to_csv_row()));
}

TEST(Logger, ARecordThatIsNotUnicodeDoesNotTakeTheBatchWithIt) {
    const auto folders = fresh_folders("not-unicode");
    logger activity(folders);
    activity.log(numbered_record(1));
    log_entry bad = numbered_record(2);
    bad.set_window_title(std::wstring(L"x") + static_cast<wchar_t>(0xD800));
    activity.log(bad);
    ASSERT_TRUE(activity.write_current_log_to_disk());
    const auto rows = testing::lines_of(all_upload_text(folders));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].find("\"x\xEF\xBF\xBD\""), std::string::npos);
}

TEST(Logger, StartRemovesUnfinishedFilesAndOnlyOldLogsConvert) {
    const auto folders = fresh_folders("start");
    filesystem::create_directories_if_missing(folders.activities);
    filesystem::create_directories_if_missing(folders.old_logs);
    std::ofstream(folders.activities + "/0a0a0a0a-0000-4000-8000-000000000000.tmp") << "half a file";
    std::ofstream(folders.old_logs + "/b.txt") << "not a log";
    std::ofstream(folders.old_logs + "/a.log");  // empty: the header alone
    std::ofstream(folders.old_logs + "/bad.log") << "garbage that is no record";

    logger activity(folders);
    EXPECT_EQ(testing::folder_names(folders.activities), std::vector<std::string>{});
    activity.convert_old_archived_logs_into_modern_kesactivities_file();
    EXPECT_EQ(testing::folder_names(folders.old_logs),
              (std::vector<std::string>{"b.txt", "bad.log.unreadable"}));
    EXPECT_EQ(testing::read_file(folders.old_logs + "/bad.log.unreadable"), "garbage that is no record");
    const auto names = testing::folder_names(folders.activities);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(filesystem::extension(names[0]), ".kesc");
    EXPECT_EQ(testing::read_file(folders.activities + "/" + names[0]), "");
}

TEST(Logger, PruningDeletesOnlyUploadFilesOlderThanSevenDaysAtMostHourly) {
    const auto folders = fresh_folders("prune");
    const auto now = std::chrono::system_clock::from_time_t(1714550400);
    auto clock_now = now;
    logger activity(folders, [&] { return clock_now; });
    filesystem::create_directories_if_missing(folders.backups);
    const auto place = [&](const std::string& name, long age_seconds) {
        const std::string path = folders.backups + "/" + name;
        std::ofstream(path) << "x";
        const time_t when = std::chrono::system_clock::to_time_t(now) - age_seconds;
        const utimbuf times{when, when};
        ::utime(path.c_str(), &times);
    };
    place("exactly.kesg", 604800);
    place("older.kesg", 604801);
    place("older.kesc", 900000);
    place("older.log", 900000);
    place("older.txt", 900000);
    place("later.kesc", 604800 - 4000);

    activity.prune_backups();
    EXPECT_EQ(testing::folder_names(folders.backups),
              (std::vector<std::string>{"exactly.kesg", "later.kesc", "older.log", "older.txt"}));

    clock_now = now + std::chrono::minutes(59);
    activity.prune_backups();
    EXPECT_EQ(testing::folder_names(folders.backups).size(), 4u);
    clock_now = now + std::chrono::minutes(60);
    activity.prune_backups();
    EXPECT_EQ(testing::folder_names(folders.backups),
              (std::vector<std::string>{"later.kesc", "older.log", "older.txt"}));
}

TEST(Logger, RecordsLoggedWhileTwoThreadsFlushAreWrittenExactlyOnce) {
    const auto folders = fresh_folders("threads");
    logger activity(folders);
    constexpr int total = 25000;
    std::atomic<bool> done{false};
    std::thread recorder([&] {
        for (int i = 0; i < total; ++i) activity.log(numbered_record(i));
        done = true;
    });
    const auto flusher = [&] {
        while (!done) activity.write_current_log_to_disk();
    };
    std::thread first(flusher), second(flusher);
    recorder.join();
    first.join();
    second.join();
    activity.write_current_log_to_disk();

    std::vector<int> seen(total, 0);
    for (const auto& path : upload_paths(folders)) {
        int previous = -1;
        for (const auto& row : testing::lines_of(testing::upload_text(path))) {
            const auto at = row.find("\"window ");
            ASSERT_NE(at, std::string::npos);
            const int n = std::stoi(row.substr(at + 8));
            ASSERT_GE(n, 0);
            ASSERT_LT(n, total);
            EXPECT_GT(n, previous);  // each file keeps the order of recording
            previous = n;
            ++seen[static_cast<std::size_t>(n)];
        }
    }
    for (int n = 0; n < total; ++n) ASSERT_EQ(seen[static_cast<std::size_t>(n)], 1) << "record " << n;
}

}  // namespace
}  // namespace kes
