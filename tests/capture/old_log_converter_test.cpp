// Converting old activity logs into upload files record by record: batches of
// bounded size, a stop at any moment, and a crash between the steps of a
// batch, each leaving every record in exactly one upload file.
#include "core/capture/logger.h"
#include "core/foundation/files/paths.h"
#include "tests/capture/logger_folders.h"
#include "tests/support/old_log_file.h"
#include "tests/support/test_environment.h"
#include "tests/support/upload_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

namespace kes {
namespace {

using testing::old_log_file;
using testing::upload_file_rows;
using testing::upload_row_counts;

logger::folders fresh_folders(const std::string& name) { return testing::logger_folders("conversion-" + name); }

std::wstring title(int n) { return L"title " + std::to_wstring(n); }
std::string row(int n) { return util::wstring_to_utf8(testing::old_log_row(L"app", title(n), L"")); }

old_log_file numbered_log(int count) {
    old_log_file file;
    file.header();
    for (int n = 0; n < count; ++n) file.record(L"app", title(n), 2);
    return file;
}

void expect_each_once(const logger::folders& folders, int count) {
    const auto counts = upload_row_counts(folders);
    EXPECT_EQ(counts.size(), static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) {
        const auto found = counts.find(row(n));
        ASSERT_NE(found, counts.end()) << "record " << n << " is missing";
        ASSERT_EQ(found->second, 1) << "record " << n;
    }
}

TEST(OldLogConversion, ALargeLogBecomesFilesOfAtMostTenThousandRecordsInOrder) {
    const auto folders = fresh_folders("large");
    numbered_log(25000).save_in(folders.old_logs, "big.log");
    logger activity(folders);
    activity.convert_old_archived_logs_into_modern_kesactivities_file();

    auto files = upload_file_rows(folders);
    ASSERT_EQ(files.size(), 3u);
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
    std::vector<std::size_t> sizes;
    for (const auto& file : files) sizes.push_back(file.size());
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{5000, 10000, 10000}));
    for (const auto& file : files) {
        for (std::size_t i = 1; i < file.size(); ++i) {
            ASSERT_EQ(std::stoi(file[i].substr(file[i].find("title ") + 6)),
                      std::stoi(file[i - 1].substr(file[i - 1].find("title ") + 6)) + 1);
        }
    }
    expect_each_once(folders, 25000);
    EXPECT_TRUE(testing::folder_names(folders.old_logs).empty());
}

TEST(OldLogConversion, LongRecordsAlsoBoundTheTextOfOneFile) {
    const auto folders = fresh_folders("long");
    old_log_file file;
    file.header();
    const std::wstring long_title(4000, L'x');
    for (int n = 0; n < 2200; ++n) file.record(L"app", long_title + std::to_wstring(n), 2);
    file.save_in(folders.old_logs, "long.log");
    logger activity(folders);
    activity.convert_old_archived_logs_into_modern_kesactivities_file();
    const auto files = upload_file_rows(folders);
    ASSERT_EQ(files.size(), 2u);
    std::size_t rows = 0;
    for (const auto& text : files) {
        std::size_t bytes = 0;
        for (const auto& line : text) bytes += line.size();
        EXPECT_LE(bytes, old_log_converter::text_bytes_per_file + 5000);
        rows += text.size();
    }
    EXPECT_EQ(rows, 2200u);
}

TEST(OldLogConversion, AStopBeforeStartingLeavesTheLogForTheNextStart) {
    const auto folders = fresh_folders("stopped");
    numbered_log(3).save_in(folders.old_logs, "a.log");
    {
        logger activity(folders);
        activity.stop_converting_old_logs();
        activity.convert_old_archived_logs_into_modern_kesactivities_file();
        EXPECT_TRUE(upload_file_rows(folders).empty());
        EXPECT_EQ(testing::folder_names(folders.old_logs), std::vector<std::string>{"a.log"});
    }
    logger next(folders);
    next.start_converting_old_logs();
    next.wait_for_old_log_conversion();
    expect_each_once(folders, 3);
}

TEST(OldLogConversion, StopsAtAnyMomentAndRestartsConvertEveryRecordOnce) {
    const auto folders = fresh_folders("restarts");
    constexpr int count = 30000;
    numbered_log(count).save_in(folders.old_logs, "a.log");
    numbered_log(0).save_in(folders.old_logs, "empty.log");
    // Stops at once, inside a batch and between batches (one takes some
    // 100 ms here, far more under a sanitizer); a stop drops the batch it was
    // in, which the next start reads again. The last start runs to the end.
    const int delays_ms[] = {0, 3, 40, 120, 90, 250, 10, 400};
    for (const int delay_ms : delays_ms) {
        logger activity(folders);  // a new start: recovery first
        activity.start_converting_old_logs();
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        activity.stop_converting_old_logs();
    }
    {
        logger last(folders);
        last.start_converting_old_logs();
        last.wait_for_old_log_conversion();
    }
    EXPECT_TRUE(testing::folder_names(folders.old_logs).empty());
    // The empty log's own (empty) upload file adds no row.
    expect_each_once(folders, count);
}

// A crash after the progress file recorded a batch: the first five records
// are in a staged file the progress file names.
class InterruptedConversion : public ::testing::Test {
protected:
    void SetUp() override {
        folders_ = fresh_folders(::testing::UnitTest::GetInstance()->current_test_info()->name());
        const old_log_file first_five = numbered_log(5);
        path_ = numbered_log(12).save_in(folders_.old_logs, "a.log");
        std::ofstream(path_ + ".progress") << first_five.bytes.size() << "\n" << uuid << ".kesc\n";
        for (int n = 0; n < 5; ++n) staged_ += row(n);
        filesystem::create_directories_if_missing(folders_.activities);
    }
    void stage() { std::ofstream(folders_.activities + "/" + uuid + ".tmp") << staged_; }

    const std::string uuid = "0a1b2c3d-0000-4000-8000-00000000cafe";
    logger::folders folders_;
    std::string path_;
    std::string staged_;
};

TEST_F(InterruptedConversion, TheStagedBatchIsPublishedAndTheRestFollowsIt) {
    stage();
    logger activity(folders_);
    EXPECT_EQ(testing::read_file(folders_.activities + "/" + uuid + ".kesc"), staged_);  // published at once
    activity.convert_old_archived_logs_into_modern_kesactivities_file();
    expect_each_once(folders_, 12);
    EXPECT_TRUE(testing::folder_names(folders_.old_logs).empty());
}

TEST_F(InterruptedConversion, ABatchPublishedBeforeTheCrashIsNotWrittenAgain) {
    // Sent already: only the progress file tells that the first five are done.
    logger activity(folders_);
    activity.convert_old_archived_logs_into_modern_kesactivities_file();
    const auto counts = upload_row_counts(folders_);
    EXPECT_EQ(counts.size(), 7u);
    for (int n = 5; n < 12; ++n) EXPECT_EQ(counts.count(row(n)), 1u) << n;
}

TEST_F(InterruptedConversion, AProgressFileOfADeletedLogIsRemovedAtStart) {
    stage();
    filesystem::remove(path_);
    logger activity(folders_);
    EXPECT_TRUE(testing::folder_names(folders_.old_logs).empty());
    EXPECT_EQ(upload_row_counts(folders_).size(), 5u);
}

}  // namespace
}  // namespace kes
