// The record journal and the logger's recovery from it: what a crash leaves
// (simulated by a logger that is destroyed without a flush, and by files laid
// out as a crash between the steps of a flush leaves them) reaches an upload
// file exactly once.
#include "core/capture/logger.h"
#include "core/capture/record_journal.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/paths.h"
#include "tests/capture/logger_folders.h"
#include "tests/support/test_environment.h"
#include "tests/support/upload_files.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <algorithm>
#include <cstdlib>
#include <map>

using namespace std::string_literals;

namespace kes {
namespace {

using testing::upload_row_counts;

logger::folders fresh_folders(const std::string& name) { return testing::logger_folders("journal-" + name); }

log_entry titled(const std::wstring& title) {
    return log_entry(L"app", boost::posix_time::time_from_string("2024-05-01 09:05:30"), L"host", L"", L"user",
                     L"app", L"", L"1.0", boost::posix_time::time_from_string("2024-05-01 09:00:00"), title);
}

std::string row_of(const std::wstring& title) { return util::wstring_to_utf8(titled(title).to_csv_row()); }

void write_file(const std::string& path, const std::string& bytes) {
    filesystem::create_directories_if_missing(path.substr(0, path.rfind('/')));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(RecordJournal, LinesReadBackAndDamagedOnesAreSkipped) {
    const std::string tricky = "\"a \\\\ b\",\"line\nfeed\r\",\"caf\xc3\xa9\"\n";
    std::string segment = journal_line(tricky) + journal_line("second\n");
    EXPECT_EQ(std::count(segment.begin(), segment.end(), '\n'), 2);  // one line a row, whatever it holds
    std::size_t damaged = 0;
    EXPECT_EQ(journal_rows(segment, damaged), tricky + "second\n");
    EXPECT_EQ(damaged, 0u);

    // A flipped byte fails the check; a line cut off by a crash has no line feed.
    std::string flipped = journal_line("third\n");
    flipped[10] = 'X';
    const std::string torn = journal_line("fourth\n").substr(0, 12);
    EXPECT_EQ(journal_rows(segment + flipped + journal_line("fifth\n") + torn, damaged), tricky + "second\nfifth\n");
    EXPECT_EQ(damaged, 2u);
    // A torn line closed by the next write's leading line feed costs only itself.
    damaged = 0;
    EXPECT_EQ(journal_rows(torn + "\n" + journal_line("sixth\n") + "\0\0\0"s, damaged), "sixth\n");
    EXPECT_EQ(damaged, 2u);
    // Text glued to the front of a whole line costs only itself.
    damaged = 0;
    EXPECT_EQ(journal_rows("3f2a9c 0" + journal_line("seventh\n"), damaged), "seventh\n");
    EXPECT_EQ(damaged, 1u);
}

TEST(RecordJournal, RecordsOfARunThatEndedWithoutAFlushReachOneUploadFileOnce) {
    const auto folders = fresh_folders("unflushed");
    {
        logger first(folders);
        first.log(titled(L"flushed"));
        ASSERT_TRUE(first.write_current_log_to_disk());
        first.log(titled(L"one"));
        first.log(titled(L"two"));
    }  // ends as a crash would: the two records are only in memory and the journal
    EXPECT_EQ(upload_row_counts(folders), (std::map<std::string, int>{{row_of(L"flushed"), 1}}));

    { logger second(folders); }
    EXPECT_EQ(upload_row_counts(folders),
              (std::map<std::string, int>{{row_of(L"flushed"), 1}, {row_of(L"one"), 1}, {row_of(L"two"), 1}}));
    EXPECT_EQ(testing::folder_names(folders.activities).size(), 2u);

    { logger third(folders); }
    EXPECT_EQ(testing::folder_names(folders.activities).size(), 2u);
    EXPECT_TRUE(testing::folder_names(folders.journal).size() <= 1u);  // at most the open, empty segment
}

TEST(RecordJournal, RecordsKeptByAFailedFlushSurviveACrash) {
    auto folders = fresh_folders("failed-flush");
    const std::string blocker = testing::private_home() + "/journal-failed-flush/blocked";
    write_file(blocker, "a file where the folder should be");
    const std::string activities = folders.activities;
    folders.activities = blocker + "/activities";
    {
        logger first(folders);
        first.log(titled(L"kept"));
        EXPECT_FALSE(first.write_current_log_to_disk());
        first.log(titled(L"later"));
    }
    filesystem::remove(blocker);
    folders.activities = activities;
    { logger second(folders); }
    EXPECT_EQ(upload_row_counts(folders), (std::map<std::string, int>{{row_of(L"kept"), 1}, {row_of(L"later"), 1}}));
}

// Pipes, folders and oversized files where segments and markers are read
// neither block the start nor stop the recovery of the real segments.
TEST(RecordJournal, PipesAndFoldersInTheJournalAreSkippedWithoutBlocking) {
    const auto folders = fresh_folders("odd-files");
    write_file(folders.journal + "/3.journal", journal_line(row_of(L"real")));
    ASSERT_EQ(::mkfifo((folders.journal + "/4.journal").c_str(), 0600), 0);
    filesystem::create_directories_if_missing(folders.journal + "/5.journal");
    ASSERT_EQ(::mkfifo((folders.journal + "/0a1b2c3d-0000-4000-8000-00000000abcd.kesc.flushed").c_str(), 0600), 0);
    { logger next(folders); }
    EXPECT_EQ(upload_row_counts(folders), (std::map<std::string, int>{{row_of(L"real"), 1}}));
    const std::wstring logged = debug_log_read();
    EXPECT_NE(logged.find(L"Could not read the journal segment " + util::widen(folders.journal) +
                          L"/4.journal: not a regular file"),
              std::wstring::npos);
    EXPECT_NE(logged.find(L"Ignoring the unreadable journal marker"), std::wstring::npos);
}

// The record lines say where each record is: "Journaled:" only for those the
// journal took.
TEST(RecordJournal, RecordsOnlyMemoryHoldsAreCountedUntilAFlushWritesThem) {
    config::instance().set_debug_log_level(log_level::error | log_level::records);
    debug_log_reopen();
    auto folders = fresh_folders("only-in-memory");
    const std::string blocker = testing::private_home() + "/journal-only-in-memory/blocked";
    write_file(blocker, "a file where the folders should be");
    folders.activities = blocker + "/activities";
    {
        // Journaled, but no upload file: nothing would be lost.
        logger first(folders);
        first.log(titled(L"journaled"));
        EXPECT_FALSE(first.write_current_log_to_disk());
        EXPECT_EQ(first.records_only_in_memory(), 0u);
    }
    folders.journal = blocker + "/journal";
    logger second(folders);
    second.log(titled(L"one"));
    second.log(titled(L"two"));
    EXPECT_EQ(second.records_only_in_memory(), 2u);
    EXPECT_FALSE(second.write_current_log_to_disk());
    second.log(titled(L"three"));
    EXPECT_EQ(second.records_only_in_memory(), 3u);
    filesystem::remove(blocker);
    filesystem::create_directories_if_missing(blocker);
    EXPECT_TRUE(second.write_current_log_to_disk());
    EXPECT_EQ(second.records_only_in_memory(), 0u);
    const std::wstring logged = debug_log_read();
    config::instance().set_debug_log_level(log_level::error);
    EXPECT_NE(logged.find(L"[logger:log] Journaled: \"app\",\"1.0\",\"\",\"journaled\""), std::wstring::npos);
    for (const wchar_t* title : {L"one", L"two", L"three"}) {
        const std::wstring row = L"\"app\",\"1.0\",\"\",\"" + std::wstring(title) + L"\"";
        EXPECT_EQ(logged.find(L"[logger:log] Journaled: " + row), std::wstring::npos) << title;
        EXPECT_NE(logged.find(L"[logger:log] Only in memory: " + row), std::wstring::npos) << title;
    }
}

// A pipe at the name of the next segment: once its buffer were full, a
// write would hold recording, and the orderly end, for ever. The records
// stay in memory instead, and the next flush writes them.
TEST(RecordJournal, APipeAtTheNextSegmentNeverHoldsRecording) {
    const auto folders = fresh_folders("pipe-segment");
    EXPECT_EXIT(
        {
            ::alarm(30);  // a write that waits ends here, and fails the test
            logger activity(folders);
            activity.log(titled(L"first"));
            const auto open_segment = testing::folder_names(folders.journal);
            if (open_segment.size() != 1) std::_Exit(2);
            const std::string next = std::to_string(std::stoull(open_segment.front()) + 1) + ".journal";
            if (::mkfifo((folders.journal + "/" + next).c_str(), 0600) != 0) std::_Exit(3);
            if (!activity.write_current_log_to_disk()) std::_Exit(4);  // the pipe is the next segment now
            for (int i = 0; i < 400; ++i) activity.log(titled(std::wstring(300, L'x') + std::to_wstring(i)));
            if (activity.records_only_in_memory() != 400) std::_Exit(5);
            if (!activity.write_current_log_to_disk()) std::_Exit(6);
            std::_Exit(upload_row_counts(folders).size() == 401 ? 0 : 7);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(RecordJournal, DamageAtTheEndOfTheLiveSegmentCostsNoRecordAfterIt) {
    const auto folders = fresh_folders("damaged-end");
    {
        logger first(folders);
        first.log(titled(L"before"));
        const auto segments = testing::folder_names(folders.journal);
        ASSERT_EQ(segments.size(), 1u);
        std::ofstream(folders.journal + "/" + segments.front(), std::ios::binary | std::ios::app) << "3f2a9c";
        first.log(titled(L"after"));
    }  // a crash
    { logger second(folders); }
    EXPECT_EQ(upload_row_counts(folders), (std::map<std::string, int>{{row_of(L"before"), 1}, {row_of(L"after"), 1}}));
}

// The steps of a flush are: stage "<uuid>.tmp", write the marker, publish,
// remove the segments and the marker. A crash may stop it after any of them.
class InterruptedFlush : public ::testing::Test {
protected:
    void SetUp() override {
        folders_ = fresh_folders(::testing::UnitTest::GetInstance()->current_test_info()->name());
        write_file(folders_.journal + "/3.journal", journal_line(row_of(L"flushed a")) + journal_line(row_of(L"flushed b")));
        write_file(folders_.journal + "/4.journal", journal_line(row_of(L"after")));
    }
    void stage(const std::string& content) { write_file(folders_.activities + "/" + uuid + ".tmp", content); }
    void mark() { write_file(folders_.journal + "/" + uuid + ".kesc.flushed", "3\n"); }

    const std::string uuid = "0a1b2c3d-0000-4000-8000-00000000abcd";
    logger::folders folders_;
};

TEST_F(InterruptedFlush, StagedButNotMarkedIsWrittenAgainFromTheJournal) {
    stage(row_of(L"flushed a") + row_of(L"flushed b"));
    { logger next(folders_); }
    EXPECT_EQ(upload_row_counts(folders_),
              (std::map<std::string, int>{{row_of(L"flushed a"), 1}, {row_of(L"flushed b"), 1}, {row_of(L"after"), 1}}));
}

TEST_F(InterruptedFlush, MarkedButNotPublishedIsPublishedAndItsRowsNotWrittenAgain) {
    stage(row_of(L"flushed a") + row_of(L"flushed b"));
    mark();
    { logger next(folders_); }
    EXPECT_EQ(upload_row_counts(folders_),
              (std::map<std::string, int>{{row_of(L"flushed a"), 1}, {row_of(L"flushed b"), 1}, {row_of(L"after"), 1}}));
    EXPECT_TRUE(filesystem::exists(folders_.activities + "/" + uuid + ".kesc"));
    EXPECT_FALSE(filesystem::exists(folders_.journal + "/" + uuid + ".kesc.flushed"));
}

TEST_F(InterruptedFlush, PublishedAndAlreadySentIsNotWrittenAgain) {
    mark();  // the file went out (the pusher took it) before the segments were removed
    { logger next(folders_); }
    EXPECT_EQ(upload_row_counts(folders_), (std::map<std::string, int>{{row_of(L"after"), 1}}));
    { logger again(folders_); }
    EXPECT_EQ(upload_row_counts(folders_), (std::map<std::string, int>{{row_of(L"after"), 1}}));
}

// Neither its segments nor its commit markers can be written: recording and
// uploading go on without it.
TEST(RecordJournal, AJournalThatCannotBeWrittenCostsOneLogLineAndNoRecord) {
    const auto folders = fresh_folders("unwritable");
    const auto count_lines = [] {
        const std::wstring text = debug_log_read();
        std::size_t n = 0;
        for (auto at = text.find(L"Could not open the journal segment"); at != std::wstring::npos;
             at = text.find(L"Could not open the journal segment", at + 1)) {
            ++n;
        }
        return n;
    };
    const std::size_t before = count_lines();
    {
        logger activity(folders);
        // The folder goes away under the running agent, and a file takes its name.
        boost::filesystem::remove_all(folders.journal);
        write_file(folders.journal, "not a folder");
        activity.log(titled(L"first"));  // the open segment still takes this one
        ASSERT_TRUE(activity.write_current_log_to_disk());  // no marker, and the next segment cannot be opened
        for (int n = 0; n < 5; ++n) activity.log(titled(L"later " + std::to_wstring(n)));
        ASSERT_TRUE(activity.write_current_log_to_disk());
    }
    EXPECT_EQ(count_lines(), before + 1);
    const auto rows = upload_row_counts(folders);
    EXPECT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.count(row_of(L"later 4")), 1u);
}

TEST(RecordJournal, RecordsGoOnBeingWrittenAfterRecovery) {
    const auto folders = fresh_folders("after-recovery");
    { logger first(folders); first.log(titled(L"before")); }
    logger second(folders);
    second.log(titled(L"new"));
    ASSERT_TRUE(second.write_current_log_to_disk());
    EXPECT_EQ(upload_row_counts(folders), (std::map<std::string, int>{{row_of(L"before"), 1}, {row_of(L"new"), 1}}));
    // The next start finds nothing more to recover.
    { logger third(folders); }
    EXPECT_EQ(testing::folder_names(folders.activities).size(), 2u);
}

}  // namespace
}  // namespace kes
