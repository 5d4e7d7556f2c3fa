#include "core/capture/disk_log.h"

#include "core/capture/old_log_format.h"
#include "core/capture/old_log_reader.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/text.h"

#include <utility>

namespace kes {

disk_log::disk_log(std::string path)
    : path_(std::move(path)), output_(path_, std::ios::out | std::ios::app | std::ios::binary) {
    load();
}

void disk_log::load() {
    old_log::record_reader reader(path_);
    if (!reader.is_open()) {
        log(L"[disk_log:ctor] Could not open " + util::utf8_to_wstring_lossy(path_), log_level::error);
        return;
    }
    if (reader.is_empty()) {
        // A new, empty file gets the header, as the writer always did.
        file_version_ = old_log::current_version;
        old_log::write_file_header(output_, file_version_);
        output_.flush();
        read_completely_ = true;
        return;
    }
    file_version_ = reader.version();
    log_entry record;
    while (true) {
        switch (reader.next(record)) {
            case old_log::record_reader::outcome::record: ram_log::append(record); break;
            case old_log::record_reader::outcome::end: read_completely_ = true; return;
            case old_log::record_reader::outcome::damaged: return;
        }
    }
}

int disk_log::determine_file_version() {
    if (filesystem::exists(path_)) {
        const old_log::record_reader reader(path_);
        if (!reader.is_empty()) return reader.version();
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
