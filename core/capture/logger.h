#pragma once
// The process-wide activity logger. Completed records are kept in memory and
// written, in batches, as upload files in the activities folder: one CSV row
// per record, gzip-compressed (".kesg") or plain (".kesc"), named by a random
// UUID. A file appears under its final name only when whole, and a batch that
// cannot be written goes back into memory, in order, for the next flush.
//
// Every record is also appended to a journal (record_journal.h) until its
// batch is in an upload file, so a crash loses no record. Construction first
// turns what an earlier run left in the journal into an upload file, exactly
// once, before anything else is recorded. Old binary activity logs are
// converted into upload files on a thread of their own (`start_converting_old_logs`),
// which a stop ends between two records.
//
// Thread-safe: `log` and `write_current_log_to_disk` may run on any thread;
// recording never waits for a flush. `prune_backups` belongs to one thread.

#include "core/capture/log_entry.h"
#include "core/capture/old_log_converter.h"
#include "core/capture/ram_log.h"
#include "core/capture/record_journal.h"
#include "core/capture/upload_folder.h"
#include "core/foundation/noncopyable.h"
#include "core/foundation/text.h"

#include <boost/uuid/random_generator.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kes {

class logger : public noncopyable {
public:
    struct folders {
        std::string activities;  // upload files waiting for the pusher
        std::string backups;     // files the pusher has sent
        std::string old_logs;    // old binary activity logs (".log")
        std::string journal;     // records not yet in an upload file; empty: no journal
    };
    using clock_function = std::function<std::chrono::system_clock::time_point()>;

    static constexpr std::uint32_t records_per_file = 10000;
    // After a failed automatic flush, this many more records wait before the next try.
    static constexpr std::uint32_t records_before_retry = 1000;

    // Recovers the journal (its rows become an upload file), publishes upload
    // files that a crash left staged but recorded, removes unfinished ".tmp"
    // files, and opens the journal. A failure there is logged and does not
    // stop the agent. Old logs are not converted yet.
    explicit logger(folders paths, clock_function clock = &std::chrono::system_clock::now);
    // Stops an old-log conversion that still runs; the records in memory are
    // not written (they stay in the journal for the next start).
    virtual ~logger();

    // The agent's logger, on the data folder; created on first use, never
    // destroyed. The first call also starts converting old logs.
    static logger& get_instance();

    void log(const log_entry& record);
    // A completed record by its upload row, rendered once by the caller
    // (csv_text.h): the journal and the upload file take these bytes.
    void log_row(const std::string& row);

    // Writes every record held to one upload file and empties the log. False
    // when the file could not be written: the records are then kept.
    bool write_current_log_to_disk();
    // The same as the process ends: no next attempt comes, so a failure is
    // logged as just that, and the caller tells what becomes of the records
    // (`records_only_in_memory` are lost, the others wait in the journal).
    bool write_last_log_to_disk();

    // Writes one upload file from UTF-8 text; false (and logged) when it could not.
    bool write_csv_string_to_kes_activities_file(const utf8& text);

    // The two halves of that: the compressed (or plain) text staged under a
    // new UUID, nothing when it could not be written; then made visible to
    // the pusher (false, logged, when it stays staged).
    std::optional<staged_upload> stage_upload(std::string_view text);
    bool publish_upload(const staged_upload& upload);
    void discard_upload(const staged_upload& upload);
    // For a staged file a record of the last run names: published if still
    // staged; false (logged) when it stays staged.
    bool finish_upload(const staged_upload& upload);

    // Deletes sent files older than 7 days from the backup folder, at most once an hour.
    void prune_backups();

    // Converts the old logs on the calling thread; returns early once a stop
    // was asked for (`stop_converting_old_logs`).
    void convert_old_archived_logs_into_modern_kesactivities_file();
    // The same on a thread of the logger's own; at most one runs.
    void start_converting_old_logs();
    // Asks a running conversion to stop and waits for it (one record, or one
    // upload file being written, at most); what is left goes on at the next start.
    void stop_converting_old_logs();
    // Waits until a running conversion has finished all old logs.
    void wait_for_old_log_conversion();

    // A random version-4 UUID.
    std::array<std::uint8_t, 16> generate_uuid();

    std::uint32_t record_count() const;
    // The records held that the journal could not take either: what a
    // process ending now would lose.
    std::uint32_t records_only_in_memory() const;

private:
    // The records held, as their upload rows in order.
    struct rows {
        std::string text;
        std::uint32_t count = 0;
        bool replaced = false;  // a record's text had no UTF-8 form and holds U+FFFD instead
    };

    void append_row(std::string_view row, bool replaced);
    bool write_batch_locked(bool last);
    // Stages the text, records in the journal that it holds the segments up
    // to `through`, and publishes it (also when the record cannot be
    // written). False when the rows are in no upload file.
    bool commit_upload(std::string_view text, std::uint64_t through);
    // The staged files a record names but that could not be published yet.
    std::vector<staged_upload> recover_journal();

    const folders folders_;
    const clock_function clock_;
    const upload_folder uploads_;

    // guards current_, journal_'s recording side, only_in_memory_ and next_automatic_flush_
    mutable std::mutex mutex_;
    rows current_;
    // The emptied buffer of the batch written last, which the next batch
    // fills: no flush leaves the next records a fresh allocation (and its
    // fresh pages) to grow into.
    std::string spare_text_;
    std::uint32_t only_in_memory_ = 0;  // records of current_ the journal does not hold
    record_journal journal_;
    std::uint32_t next_automatic_flush_ = records_per_file;

    // One batch is written at a time, so a failed one can go back in front.
    std::mutex flush_mutex_;
    // Journal rows an earlier run left that no upload file could take at
    // start; the next flush writes them before its own. Under flush_mutex_.
    std::string recovered_rows_;

    std::mutex uuid_mutex_;
    boost::uuids::random_generator uuid_generator_;

    std::atomic<std::int64_t> last_prune_time_us_{0};

    const old_log_converter old_logs_;
    std::mutex conversion_mutex_;  // guards conversion_
    std::thread conversion_;
    std::atomic<bool> stop_conversion_{false};
};

// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" in lower-case hexadecimal.
std::string uuid_text(const std::array<std::uint8_t, 16>& uuid);

}  // namespace kes
