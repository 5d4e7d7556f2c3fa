#include "core/capture/logger.h"

#include "core/capture/disk_log.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/exclusive_file.h"
#include "core/foundation/file_util.h"
#include "core/foundation/gzip.h"
#include "core/foundation/private_files.h"
#include "core/foundation/system.h"

#include <boost/filesystem.hpp>
#include <boost/uuid/uuid.hpp>

#include <algorithm>
#include <csignal>
#include <utility>
#include <vector>

namespace kes {
namespace {

constexpr std::uint32_t service_level = log_level::service;     // 128
constexpr std::uint32_t housekeeping_level = 512;
constexpr std::uint32_t old_log_level = 516;
constexpr std::int64_t prune_interval_us = 3600000000LL;
constexpr std::chrono::seconds backup_lifetime(604801);  // 7 days and 1 second
constexpr int name_attempts = 8;

std::wstring path_text(const std::string& path) { return util::utf8_to_wstring_lossy(path); }

std::string aside_name(const std::string& path) {
    std::string candidate = path + ".unreadable";
    for (int n = 1; filesystem::exists(candidate); ++n) candidate = path + ".unreadable." + std::to_string(n);
    return candidate;
}

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

logger::logger(folders paths, clock_function clock) : folders_(std::move(paths)), clock_(std::move(clock)) {
    try {
        remove_unfinished_files();
        convert_old_archived_logs_into_modern_kesactivities_file();
    } catch (const std::exception& e) {
        kes::log(L"[logger:ctor] Caught std::exception: " + util::widen(e.what()), log_level::error);
    }
}

logger::~logger() = default;

logger& logger::get_instance() {
    static logger* const instance = [] {
        // Past a file-size limit a write must fail, so the batch stays in
        // memory, rather than end the agent with every record it holds.
        std::signal(SIGXFSZ, SIG_IGN);
        const auto platform = system::create();
        return new logger(folders{platform->get_activities_dir(), platform->get_activities_backup_dir(),
                                  platform->get_log_dir()});
    }();
    return *instance;
}

void logger::log(const log_entry& record) {
    bool full = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        current_log_.append(record);
        full = current_log_.size() >= next_automatic_flush_;
    }
    if (!full) return;
    // A flush already under way holds its own batch: the next record tries again.
    std::unique_lock<std::mutex> flush_lock(flush_mutex_, std::try_to_lock);
    if (!flush_lock.owns_lock()) return;
    kes::log(L"[logger:log] calling write_currenT_log_to_disk because current_log is full.", service_level);
    write_batch_locked();
}

bool logger::write_current_log_to_disk() {
    const std::lock_guard<std::mutex> flush_lock(flush_mutex_);
    return write_batch_locked();
}

bool logger::write_batch_locked() {
    ram_log batch;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (current_log_.size() == 0) {
            kes::log(L"[logger:write_current_log_to_disk] Current log size is 0. No logs to write.", service_level);
            return true;
        }
        batch.swap(current_log_);
    }
    const std::wstring csv = batch.to_csv();
    utf8 text(csv);
    if (text.size() == 0) {
        // One record's text is not Unicode; the others must not be lost with it.
        kes::log(L"[logger:write_current_log_to_disk] A record holds text that is not Unicode; writing it with "
                 L"replacement characters.",
                 log_level::error);
        text = utf8(util::wstring_to_utf8_lossy(csv));
    }
    const bool written = write_csv_string_to_kes_activities_file(text);

    const std::lock_guard<std::mutex> lock(mutex_);
    if (written) {
        next_automatic_flush_ = records_per_file;
        return true;
    }
    const auto kept = batch.size();
    current_log_.prepend(std::move(batch));
    next_automatic_flush_ = std::max(records_per_file, current_log_.size() + records_before_retry);
    kes::log(L"[logger:write_current_log_to_disk] Could not write an upload file; keeping " + std::to_wstring(kept) +
                 L" records in memory for the next attempt.",
             log_level::error);
    return false;
}

bool logger::write_csv_string_to_kes_activities_file(const utf8& text) {
    const std::string_view bytes(text.str());
    std::vector<unsigned char> compressed(bytes.size() * 2);
    const bool is_compressed = util::compress_string_gzip(bytes, compressed);
    const std::string_view content =
        is_compressed ? std::string_view(reinterpret_cast<const char*>(compressed.data()), compressed.size()) : bytes;
    const std::string extension = is_compressed ? ".kesg" : ".kesc";

    try {
        fs::create_private_directories(folders_.activities);
    } catch (const std::exception& e) {
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] " + util::widen(e.what()), log_level::error);
        return false;
    }
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        const std::string uuid = uuid_text(generate_uuid());
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] Generated UUID: " + util::widen(uuid),
                 service_level);
        const std::string file_name = uuid + extension;
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] Activity Filename: " + util::widen(file_name),
                 service_level);
        const std::string path = folders_.activities + "/" + file_name;
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] Activity Path: " + path_text(path),
                 service_level);

        const auto outcome = fs::write_file_exclusively(folders_.activities + "/" + uuid + ".tmp", path, content);
        if (outcome.result == fs::exclusive_write_result::written) return true;
        kes::log(L"[logger::write_csv_string_to_kes_activities_file] " + path_text(outcome.error), log_level::error);
        if (outcome.result == fs::exclusive_write_result::failed) return false;
    }
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
    return current_log_.size();
}

void logger::prune_backups() {
    kes::log(L"[logger::prune_backups]", service_level);
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
        const std::string extension = filesystem::extension(path);
        if ((extension != ".kesc" && extension != ".kesg") || !filesystem::is_regular_file(path)) continue;
        try {
            if (now - filesystem::last_write_time(path) < backup_lifetime) continue;
            kes::log(L"[logger::prune_backups]" + path_text(path) + L"  is older than 7 days, deleting",
                     housekeeping_level);
            filesystem::remove(path);
        } catch (const std::exception& e) {
            // One file that cannot go must not keep the others.
            kes::log(L"[logger::prune_backups] " + util::widen(e.what()), log_level::error);
        }
    }
}

void logger::remove_unfinished_files() {
    if (!filesystem::is_directory(folders_.activities)) return;
    for (const auto& path : filesystem::list_directory(folders_.activities)) {
        if (filesystem::extension(path) != ".tmp" || !filesystem::is_regular_file(path)) continue;
        // Left by a crash while writing: its records were never taken from an
        // upload file, and a partial file must never be sent.
        kes::log(L"[logger:ctor] Removing unfinished upload file " + path_text(path), log_level::error);
        boost::system::error_code ignored;
        boost::filesystem::remove(path, ignored);
    }
}

void logger::convert_old_archived_logs_into_modern_kesactivities_file() {
    kes::log(L"[logger:convert_old_archived_logs_into_modern_kesactivities_file]Enter load_archive_logs",
             housekeeping_level);
    fs::create_private_directories(folders_.old_logs);
    kes::log(L"[logger:convert_old_archived_logs_into_modern_kesactivities_file]directory_iterator",
             housekeeping_level);
    for (const auto& path : filesystem::list_directory(folders_.old_logs)) {
        if (filesystem::extension(path) == ".log" && filesystem::is_regular_file(path)) convert_old_log(path);
    }
}

void logger::convert_old_log(const std::string& path) {
    const std::wstring tag = L"[logger:convert_old_archived_logs_into_modern_kesactivities_file]";
    kes::log(tag + L"loading log file: " + path_text(path), old_log_level);
    try {
        disk_log old_log(path);
        const bool complete = old_log.read_completely();
        if (complete || old_log.size() > 0) {
            if (!write_csv_string_to_kes_activities_file(utf8(old_log.to_csv()))) {
                kes::log(tag + L"could not write its upload file; keeping " + path_text(path) +
                             L" for the next start",
                         log_level::error);
                return;
            }
        }
        if (complete) {
            old_log.clear();
            return;
        }
        // What could not be read stays on disk, out of the way of the next start.
        const std::string aside = aside_name(path);
        filesystem::rename(path, aside);
        kes::log(tag + L"could not read all of " + path_text(path) + L"; kept as " + path_text(aside),
                 log_level::error);
    } catch (const std::exception& e) {
        kes::log(tag + L"Caught std::exception converting " + path_text(path) + L": " + util::widen(e.what()),
                 log_level::error);
    }
}

}  // namespace kes
