#include "core/capture/disk_log.h"

#include "core/capture/old_log_format.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/private_files.h"
#include "core/foundation/text.h"

#include <utility>

namespace kes {
namespace {
constexpr std::uint32_t record_trace_level = 8704;
constexpr std::uint32_t skipped_record_level = 8705;

bool at_end(std::istream& in) { return in.peek() == std::char_traits<char>::eof(); }
}  // namespace

disk_log::disk_log(std::string path)
    : path_(std::move(path)), output_(path_, std::ios::out | std::ios::app | std::ios::binary) {
    load();
}

void disk_log::load() {
    filesystem::ifstream input(path_, std::ios::binary);
    if (!input) {
        log(L"[disk_log:ctor] Could not open " + util::utf8_to_wstring_lossy(path_), log_level::error);
        return;
    }
    if (at_end(input)) {
        // A new, empty file gets the header, as the writer always did.
        input.close();
        file_version_ = old_log::current_version;
        old_log::write_file_header(output_, file_version_);
        output_.flush();
        read_completely_ = true;
        return;
    }
    input.clear();
    file_version_ = old_log::read_file_version(input);
    log_entry record;
    while (!at_end(input)) {
        try {
            if (!old_log::read_record(input, file_version_, record)) {
                // Whatever follows cannot be told apart from noise: stop here,
                // and drop the half-read record, which mixes two records' fields.
                log(L"[disk_log:ctor] Caught std::exception attempting to load entry: the file is cut off "
                    L"or damaged inside a record",
                    log_level::error);
                return;
            }
            const std::wstring row = record.to_csv_row();
            log(L"[disk_log] log_entry = " + row, record_trace_level);
            if (record.is_valid_entry()) {
                ram_log::append(record);
            } else {
                log(L"[disk_log] skipping last entry, was invalid", skipped_record_level);
            }
        } catch (const std::exception& e) {
            log(L"[disk_log:ctor] Caught std::exception attempting to load entry: " + util::widen(e.what()),
                log_level::error);
            return;
        } catch (...) {
            log(L"[disk_log:ctor] Caught unknown exception attempting to load entry.", log_level::error);
            return;
        }
    }
    read_completely_ = true;
}

int disk_log::determine_file_version() {
    if (filesystem::exists(path_)) {
        filesystem::ifstream input(path_, std::ios::binary);
        if (input && !at_end(input)) {
            input.clear();
            return old_log::read_file_version(input);
        }
    }
    if (!output_.is_open()) return -1;
    old_log::write_file_header(output_, old_log::current_version);
    return old_log::current_version;
}

void disk_log::append(const log_entry& record) {
    if (!output_.is_open()) {
        fs::ensure_private_file(path_);
        output_.clear();
        output_.open(path_, std::ios::out | std::ios::app | std::ios::binary);
    }
    if (file_version_ == -1) file_version_ = determine_file_version();
    if (file_version_ == -1) {
        file_version_ = 1;
        log(L"[disk_log:append] Unexpected situation with invalid file version.\n", log_level::error);
    }
    old_log::write_record(output_, file_version_, record);
    output_.flush();
    ram_log::append(record);
}

void disk_log::clear() {
    output_.close();
    filesystem::remove(path_);
    ram_log::clear();
}

}  // namespace kes
