#include "core/capture/logger.h"

#include "core/capture/csv_text.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/exclusive_file.h"
#include "core/foundation/files/paths.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/gzip.h"
#include "core/foundation/system.h"

#include <boost/filesystem.hpp>
#include <boost/uuid/uuid.hpp>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace kes {
namespace {

constexpr std::int64_t prune_interval_us = 3600000000LL;
constexpr std::chrono::seconds backup_lifetime(604801);  // 7 days and 1 second
constexpr int name_attempts = 8;

std::wstring path_text(const std::string& path) { return util::utf8_to_wstring_lossy(path); }

}  // namespace

std::string uuid_text(const std::array<std::uint8_t, 16>& uuid) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[uuid[i] >> 4]);
        text.push_back(digits[uuid[i] & 0x0F]);
    }
    return text;
}

logger::logger(folders paths, clock_function clock)
    : folders_(std::move(paths)),
      clock_(std::move(clock)),
      uploads_(folders_.activities),
      journal_(folders_.journal),
      old_logs_(folders_.old_logs, *this) {
    try {
        std::vector<staged_upload> still_staged = recover_journal();
        for (auto& upload : old_logs_.finish_interrupted()) still_staged.push_back(std::move(upload));
        uploads_.remove_unfinished_files(still_staged);
    } catch (const std::exception& e) {
        kes::log(L"[logger:ctor] Caught std::exception: " + util::widen(e.what()), log_level::error);
    }
    journal_.open();
}

logger::~logger() { stop_converting_old_logs(); }

logger& logger::get_instance() {
    static logger* const instance = [] {
        // Past a file-size limit a write must fail, so the batch stays in
        // memory, rather than end the agent with every record it holds.
        std::signal(SIGXFSZ, SIG_IGN);
        const auto platform = system::create();
        // Named, not made: each folder is made when first written, so a data
        // folder that cannot be written keeps nobody from recording (what
        // could not be kept is reported at the end).
        const std::string data_dir = platform->get_data_dir();
        auto* created = new logger(folders{data_dir + "/activities", data_dir + "/activities_backup",
                                           platform->get_log_dir(), data_dir + "/journal"});
        // The orderly end stops the conversion itself; this covers every
        // other way out, so no conversion runs while the process ends.
        std::atexit([] { get_instance().stop_converting_old_logs(); });
        created->start_converting_old_logs();
        return created;
    }();
    return *instance;
}

std::vector<staged_upload> logger::recover_journal() {
    const record_journal::leftovers found = journal_.recover();
    std::vector<staged_upload> still_staged;
    for (const auto& upload : found.committed) {
        if (!finish_upload(upload)) still_staged.push_back(upload);
    }
    journal_.drop_committed(found, still_staged);
    if (found.damaged_lines > 0) {
        kes::log(L"[logger:ctor] Skipped " + std::to_wstring(found.damaged_lines) +
                     L" damaged lines of the record journal (a write that a crash cut off)",
                 log_level::error);
    }
    if (found.rows.empty()) {
        journal_.drop_segments_through(found.rows_through);  // empty, or nothing in them could be read
        return still_staged;
    }
    kes::log(L"[logger:ctor] Writing the records an earlier run left in the journal to an upload file",
             log_level::info);
    if (!commit_upload(found.rows, found.rows_through)) {
        // The segments stay, and the next flush (whose batch covers them) writes the rows.
        recovered_rows_ = found.rows;
        kes::log(L"[logger:ctor] Could not write them yet; the next flush will", log_level::error);
    }
    return still_staged;
}

void logger::log(const log_entry& record) {
    // The journal holds the row as the upload file will.
    const std::optional<std::string> row = csv_row_utf8(record);
    if (row) {
        append_row(*row, false);
    } else {
        append_row(csv_row_utf8_lossy(record), true);
    }
}

void logger::log_row(const std::string& row) { append_row(row, false); }

void logger::append_row(std::string_view row, bool replaced) {
    bool full = false;
    bool journaled = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        current_.text.append(row);
        ++current_.count;
        current_.replaced = current_.replaced || replaced;
        journaled = journal_.append(row);
        if (!journaled) ++only_in_memory_;
        full = current_.count >= next_automatic_flush_;
    }
    if (log_enabled(log_level::records)) {
        const wchar_t* const head = journaled ? L"[logger:log] Journaled: " : L"[logger:log] Only in memory: ";
        kes::log(head + loggable_row(util::utf8_to_wstring_lossy(row)), log_level::records);
    }
    if (!full) return;
    // A flush already under way holds its own batch: the next record tries again.
    std::unique_lock<std::mutex> flush_lock(flush_mutex_, std::try_to_lock);
    if (!flush_lock.owns_lock()) return;
    kes::log(L"[logger:log] calling write_currenT_log_to_disk because current_log is full.", log_level::service);
    write_batch_locked(false);
}

bool logger::write_current_log_to_disk() {
    const std::lock_guard<std::mutex> flush_lock(flush_mutex_);
    return write_batch_locked(false);
}

bool logger::write_last_log_to_disk() {
    const std::lock_guard<std::mutex> flush_lock(flush_mutex_);
    return write_batch_locked(true);
}

bool logger::write_batch_locked(bool last) {
    rows batch;
    std::uint64_t through = 0;
    std::uint32_t batch_only_in_memory = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (current_.count == 0 && recovered_rows_.empty()) {
            kes::log(L"[logger:write_current_log_to_disk] Current log size is 0. No logs to write.", log_level::service);
            return true;
        }
        batch = std::exchange(current_, rows{});
        current_.text.swap(spare_text_);
        batch_only_in_memory = std::exchange(only_in_memory_, 0);
        // Records from now on go to a new segment; this batch is the sealed ones.
        through = journal_.seal();
    }
    if (batch.replaced) {
        // One record's text is not Unicode; the others must not be lost with it.
        kes::log(L"[logger:write_current_log_to_disk] A record holds text that is not Unicode; writing it with "
                 L"replacement characters.",
                 log_level::error);
    }
    // (An empty batch is one that only carries rows recovered at start.)
    const bool written = recovered_rows_.empty() ? commit_upload(batch.text, through)
                                                 : commit_upload(recovered_rows_ + batch.text, through);

    const std::lock_guard<std::mutex> lock(mutex_);
    if (written) {
        recovered_rows_.clear();
        next_automatic_flush_ = records_per_file;
        batch.text.clear();
        spare_text_.swap(batch.text);
        return true;
    }
    // Back in front of what arrived meanwhile, in order.
    const auto kept = batch.count;
    batch.text.append(current_.text);
    current_.text.swap(batch.text);
    current_.count += batch.count;
    current_.replaced = current_.replaced || batch.replaced;
    only_in_memory_ += batch_only_in_memory;
    next_automatic_flush_ = std::max(records_per_file, current_.count + records_before_retry);
    if (last) {
        kes::log(L"[logger:write_current_log_to_disk] Could not write an upload file of " + std::to_wstring(kept) +
                     L" records at exit.",
                 log_level::error);
    } else {
        kes::log(L"[logger:write_current_log_to_disk] Could not write an upload file; keeping " +
                     std::to_wstring(kept) + L" records in memory for the next attempt.",
                 log_level::error);
    }
    return false;
}

bool logger::commit_upload(std::string_view text, std::uint64_t through) {
    const std::optional<staged_upload> staged = stage_upload(text);
    if (!staged) return false;
    if (!journal_.commit(through, *staged)) {
        // A journal that cannot be written must not hold back every upload:
        // the file goes out without its marker. Only a crash before the
        // segments are removed could then send these rows a second time.
        if (!publish_upload(*staged)) {
            discard_upload(*staged);
            return false;
        }
        journal_.discard(through, *staged);
        return true;
    }
    // Committed: from here on the records are this file's, even if it cannot
    // be published now (the next start publishes it from the journal's marker).
    if (publish_upload(*staged)) journal_.discard(through, *staged);
    return true;
}

bool logger::write_csv_string_to_kes_activities_file(const utf8& text) {
    const std::optional<staged_upload> staged = stage_upload(text.str());
    if (!staged) return false;
    if (publish_upload(*staged)) return true;
    discard_upload(*staged);
    return false;
}

std::optional<staged_upload> logger::stage_upload(std::string_view bytes) {
    // Room for twice the text, left unfilled: deflate writes a fraction of
    // it, and only the pages it writes are ever touched.
    std::size_t length = bytes.size() * 2;
    const std::unique_ptr<unsigned char[]> compressed(new unsigned char[length]);
    const bool is_compressed = util::compress_string_gzip(bytes, compressed.get(), length);
    const std::string_view content =
        is_compressed ? std::string_view(reinterpret_cast<const char*>(compressed.get()), length) : bytes;
    const std::string extension(upload_names::extension_for(is_compressed));

    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        const staged_upload upload{uuid_text(generate_uuid()), extension};
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] Generated UUID: " + util::widen(upload.uuid),
                 log_level::service);
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] Activity Filename: " +
                     util::widen(upload.file_name()),
                 log_level::service);
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] Activity Path: " +
                     path_text(uploads_.final_path(upload)),
                 log_level::service);

        const auto outcome = uploads_.stage(upload, content);
        if (outcome.result == fs::exclusive_write_result::written) return upload;
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] " + path_text(outcome.error), log_level::error);
        if (outcome.result == fs::exclusive_write_result::failed) return std::nullopt;
    }
    return std::nullopt;
}

bool logger::publish_upload(const staged_upload& upload) {
    const auto outcome = uploads_.publish(upload);
    if (outcome.result == fs::exclusive_write_result::written) return true;
    kes::log(L"[logger::write_csv_string_to_kes_activities_file] " + path_text(outcome.error), log_level::error);
    return false;
}

void logger::discard_upload(const staged_upload& upload) { uploads_.discard(upload); }

bool logger::finish_upload(const staged_upload& upload) {
    const auto outcome = uploads_.finish(upload);
    if (outcome.result == fs::exclusive_write_result::written) return true;
    kes::log(L"[logger:ctor] Could not publish a staged upload file: " + path_text(outcome.error), log_level::error);
    return false;
}

std::array<std::uint8_t, 16> logger::generate_uuid() {
    boost::uuids::uuid drawn;
    {
        const std::lock_guard<std::mutex> lock(uuid_mutex_);
        drawn = uuid_generator_();
    }
    std::array<std::uint8_t, 16> bytes{};
    std::copy(drawn.begin(), drawn.end(), bytes.begin());
    return bytes;
}

std::uint32_t logger::record_count() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return current_.count;
}

std::uint32_t logger::records_only_in_memory() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return only_in_memory_;
}

void logger::prune_backups() {
    kes::log(L"[logger::prune_backups]", log_level::service);
    const auto now = clock_();
    const std::int64_t now_us =
        std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    if (now_us - last_prune_time_us_.load() < prune_interval_us) {
        kes::log(L"[logger::prune_backups] It has been less than 1 hours since last prune, waiting.",
                 log_level::network);
        return;
    }
    last_prune_time_us_.store(now_us);
    fs::create_private_directories(folders_.backups);
    for (const auto& path : filesystem::list_directory(folders_.backups)) {
        if (!upload_names::is_upload_file_name(filesystem::filename(path)) || !filesystem::is_regular_file(path)) {
            continue;
        }
        try {
            if (now - filesystem::last_write_time(path) < backup_lifetime) continue;
            kes::log(L"[logger::prune_backups]" + path_text(path) + L"  is older than 7 days, deleting",
                     log_level::records);
            filesystem::remove(path);
        } catch (const std::exception& e) {
            // One file that cannot go must not keep the others.
            kes::log(L"[logger::prune_backups] " + util::widen(e.what()), log_level::error);
        }
    }
}

void logger::convert_old_archived_logs_into_modern_kesactivities_file() { old_logs_.convert_all(stop_conversion_); }

void logger::start_converting_old_logs() {
    const std::lock_guard<std::mutex> lock(conversion_mutex_);
    if (conversion_.joinable()) return;
    stop_conversion_.store(false);
    conversion_ = std::thread([this] {
        try {
            convert_old_archived_logs_into_modern_kesactivities_file();
        } catch (const std::exception& e) {
            kes::log(L"[logger:convert_old_archived_logs_into_modern_kesactivities_file] Caught std::exception: " +
                         util::widen(e.what()),
                     log_level::error);
        }
    });
}

void logger::stop_converting_old_logs() {
    stop_conversion_.store(true);
    wait_for_old_log_conversion();
}

void logger::wait_for_old_log_conversion() {
    const std::lock_guard<std::mutex> lock(conversion_mutex_);
    if (conversion_.joinable() && conversion_.get_id() != std::this_thread::get_id()) conversion_.join();
}

}  // namespace kes
