#pragma once
// The process-wide activity logger. Completed records are kept in memory and
// written, in batches, as upload files in the activities folder: one CSV row
// per record, gzip-compressed (".kesg") or plain (".kesc"), named by a random
// UUID. A file appears under its final name only when whole, and a batch that
// cannot be written goes back into memory, in order, for the next flush.
// Construction also converts old binary activity logs into upload files.
//
// Thread-safe: `log` and `write_current_log_to_disk` may run on any thread;
// recording never waits for the disk. `prune_backups` belongs to one thread.

#include "core/capture/log_entry.h"
#include "core/capture/ram_log.h"
#include "core/foundation/noncopyable.h"
#include "core/foundation/text.h"

#include <boost/uuid/random_generator.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace kes {

class logger : public noncopyable {
public:
    struct folders {
        std::string activities;  // upload files waiting for the pusher
        std::string backups;     // files the pusher has sent
        std::string old_logs;    // old binary activity logs (".log")
    };
    using clock_function = std::function<std::chrono::system_clock::time_point()>;

    static constexpr std::uint32_t records_per_file = 10000;
    // After a failed automatic flush, this many more records wait before the next try.
    static constexpr std::uint32_t records_before_retry = 1000;

    // Removes unfinished ".tmp" files left by a crash and converts old logs;
    // a failure there is logged and does not stop the agent.
    explicit logger(folders paths, clock_function clock = &std::chrono::system_clock::now);
    virtual ~logger();

    // The agent's logger, on the data folder; created on first use, never destroyed.
    static logger& get_instance();

    void log(const log_entry& record);

    // Writes every record held to one upload file and empties the log. False
    // when the file could not be written: the records are then kept.
    bool write_current_log_to_disk();

    // Writes one upload file from UTF-8 text; false (and logged) when it could not.
    bool write_csv_string_to_kes_activities_file(const utf8& text);

    // Deletes sent files older than 7 days from the backup folder, at most once an hour.
    void prune_backups();

    void convert_old_archived_logs_into_modern_kesactivities_file();

    // A random version-4 UUID.
    std::array<std::uint8_t, 16> generate_uuid();

    std::uint32_t record_count() const;

private:
    bool write_batch_locked();
    void remove_unfinished_files();
    void convert_old_log(const std::string& path);

    const folders folders_;
    const clock_function clock_;

    mutable std::mutex mutex_;  // guards current_log_ and next_automatic_flush_
    ram_log current_log_;
    std::uint32_t next_automatic_flush_ = records_per_file;

    // One batch is written at a time, so a failed one can go back in front.
    std::mutex flush_mutex_;

    std::mutex uuid_mutex_;
    boost::uuids::random_generator uuid_generator_;

    std::atomic<std::int64_t> last_prune_time_us_{0};
};

// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" in lower-case hexadecimal.
std::string uuid_text(const std::array<std::uint8_t, 16>& uuid);

}  // namespace kes
