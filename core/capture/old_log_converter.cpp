#include "core/capture/old_log_converter.h"

#include "core/capture/csv_text.h"
#include "core/capture/logger.h"
#include "core/capture/old_log_reader.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/paths.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/files/replace_file.h"
#include "core/foundation/text.h"

#include <unistd.h>

#include <optional>

namespace kes {
namespace {

constexpr const wchar_t* tag = L"[logger:convert_old_archived_logs_into_modern_kesactivities_file]";
constexpr const char* progress_suffix = ".progress";
constexpr std::size_t max_progress_bytes = 4096;  // a position and a file name

std::wstring path_text(const std::string& path) { return util::utf8_to_wstring_lossy(path); }

// How far a log is converted: the position of its first record that is not
// in an upload file yet, and the staged upload file that holds the records
// before it. Written as "<position>\n<file name>\n", replaced atomically.
struct progress {
    std::uint64_t position = 0;
    staged_upload upload;
};

std::optional<progress> read_progress(const std::string& path, bool& unreadable) {
    unreadable = false;
    const fs::file_contents file = fs::read_regular_file(path, max_progress_bytes);
    if (file.result == fs::read_result::missing) return std::nullopt;
    const std::string& text = file.bytes;  // empty when unreadable, which the checks below refuse
    const auto first = text.find('\n');
    const auto second = first == std::string::npos ? first : text.find('\n', first + 1);
    std::optional<staged_upload> upload;
    progress found;
    bool digits = first != std::string::npos && first > 0 && first <= 18;
    for (std::size_t i = 0; digits && i < first; ++i) {
        digits = text[i] >= '0' && text[i] <= '9';
        found.position = found.position * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    if (digits && second == text.size() - 1) upload = staged_upload::from_file_name(text.substr(first + 1, second - first - 1));
    if (!upload) {
        unreadable = true;
        return std::nullopt;
    }
    found.upload = *upload;
    return found;
}

bool write_progress(const std::string& path, std::uint64_t position, const staged_upload& upload) {
    std::string error;
    if (fs::replace_file_atomically(path, std::to_string(position) + "\n" + upload.file_name() + "\n", error)) {
        return true;
    }
    log(std::wstring(tag) + L"could not record the progress in " + path_text(path) + L": " + util::widen(error),
        log_level::error);
    return false;
}

std::string aside_name(const std::string& path) {
    std::string candidate = path + ".unreadable";
    for (int n = 1; filesystem::exists(candidate); ++n) candidate = path + ".unreadable." + std::to_string(n);
    return candidate;
}

// What cannot be read stays on disk, out of the way of the next start.
void set_aside(const std::string& path, const std::string& progress_path, const wchar_t* why) {
    const std::string aside = aside_name(path);
    filesystem::rename(path, aside);
    ::unlink(progress_path.c_str());
    log(std::wstring(tag) + why + path_text(path) + L"; kept as " + path_text(aside), log_level::error);
}

// One upload file's worth of rows, committed to the progress file.
class batch {
public:
    batch(logger& uploads, std::string progress_path) : uploads_(uploads), progress_path_(std::move(progress_path)) {}

    void add(const log_entry& record) {
        // The reader lets only records with Unicode text through.
        text_ += csv_row_utf8_lossy(record);
        ++records_;
    }
    bool full() const {
        return records_ >= old_log_converter::records_per_file || text_.size() >= old_log_converter::text_bytes_per_file;
    }
    bool empty() const { return records_ == 0; }

    // Stages the rows, records `position` as converted, publishes. False when
    // the log must wait for the next start.
    bool commit(std::uint64_t position, const std::string& log_path) {
        const std::optional<staged_upload> staged = uploads_.stage_upload(text_);
        if (!staged) {
            log(std::wstring(tag) + L"could not write its upload file; keeping " + path_text(log_path) +
                    L" for the next start",
                log_level::error);
            return false;
        }
        if (!write_progress(progress_path_, position, *staged)) {
            uploads_.discard_upload(*staged);
            return false;
        }
        // Once recorded, the file is this point's; if it stays staged, the next
        // start publishes it, and this log must not go on past it now.
        if (!uploads_.publish_upload(*staged)) return false;
        text_.clear();
        records_ = 0;
        return true;
    }

private:
    logger& uploads_;
    const std::string progress_path_;
    std::string text_;
    std::uint32_t records_ = 0;
};

}  // namespace

old_log_converter::old_log_converter(std::string folder, logger& uploads)
    : folder_(std::move(folder)), uploads_(uploads) {}

std::vector<staged_upload> old_log_converter::finish_interrupted() const {
    std::vector<staged_upload> still_staged;
    if (!filesystem::is_directory(folder_)) return still_staged;
    for (const auto& path : filesystem::list_directory(folder_)) {
        if (filesystem::extension(path) != progress_suffix) continue;
        const std::string log_path = path.substr(0, path.size() - std::string(progress_suffix).size());
        bool unreadable = false;
        const auto found = read_progress(path, unreadable);
        if (found && !uploads_.finish_upload(found->upload)) still_staged.push_back(found->upload);
        // The log was converted and deleted; only its progress was left.
        if (!unreadable && !filesystem::exists(log_path)) ::unlink(path.c_str());
    }
    return still_staged;
}

void old_log_converter::convert_all(const std::atomic<bool>& stop) const {
    log(std::wstring(tag) + L"Enter load_archive_logs", log_level::records);
    fs::create_private_directories(folder_);
    log(std::wstring(tag) + L"directory_iterator", log_level::records);
    for (const auto& path : filesystem::list_directory(folder_)) {
        if (filesystem::extension(path) != ".log" || !filesystem::is_regular_file(path)) continue;
        if (stop.load()) {
            log(std::wstring(tag) + L"stopped; the old logs left convert at the next start", log_level::records_info);
            return;
        }
        try {
            convert(path, stop);
        } catch (const std::exception& e) {
            log(std::wstring(tag) + L"Caught std::exception converting " + path_text(path) + L": " +
                    util::widen(e.what()),
                log_level::error);
        }
    }
}

bool old_log_converter::convert(const std::string& path, const std::atomic<bool>& stop) const {
    log(std::wstring(tag) + L"loading log file: " + path_text(path), log_level::records_info);
    const std::string progress_path = path + progress_suffix;
    bool unreadable_progress = false;
    const std::optional<progress> resumed = read_progress(progress_path, unreadable_progress);
    if (unreadable_progress) {
        // Where the last conversion stopped is unknown: starting over could
        // send records twice.
        set_aside(path, progress_path, L"could not tell how far it was converted: ");
        return true;
    }
    // A file that was recorded but is still staged comes first: the log goes on only after it.
    if (resumed && !uploads_.finish_upload(resumed->upload)) return false;

    old_log::record_reader reader(path);
    if (!reader.is_open()) {
        log(L"[disk_log:ctor] Could not open " + path_text(path), log_level::error);
        return false;
    }
    if (resumed && !reader.seek(resumed->position)) {
        set_aside(path, progress_path, L"is shorter than its recorded progress: ");
        return true;
    }
    batch rows(uploads_, progress_path);
    bool converted_any = resumed.has_value();
    std::uint64_t last_good = reader.position();
    log_entry record;
    while (true) {
        if (stop.load()) {
            log(std::wstring(tag) + L"stopped inside " + path_text(path) + L"; it goes on at the next start",
                log_level::records_info);
            return false;
        }
        const auto outcome = reader.next(record);
        if (outcome == old_log::record_reader::outcome::record) {
            rows.add(record);
            last_good = reader.position();
            if (rows.full()) {
                if (!rows.commit(last_good, path)) return false;
                converted_any = true;
            }
            continue;
        }
        const bool complete = outcome == old_log::record_reader::outcome::end;
        // A log without a single record still gives its (empty) upload file.
        if (!rows.empty() || (complete && !converted_any)) {
            if (!rows.commit(last_good, path)) return false;
        }
        if (!complete) {
            set_aside(path, progress_path, L"could not read all of ");
            return true;
        }
        filesystem::remove(path);
        ::unlink(progress_path.c_str());
        return true;
    }
}

}  // namespace kes
