#include "core/capture/old_log_reader.h"

#include "core/capture/csv_text.h"
#include "core/capture/old_log_format.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

namespace kes::old_log {
namespace {

bool at_end(std::istream& in) { return in.peek() == std::char_traits<char>::eof(); }

}  // namespace

record_reader::record_reader(const std::string& path) : input_(path, std::ios::binary) {
    if (!input_) return;
    empty_ = at_end(input_);
    input_.clear();
    if (!empty_) version_ = read_file_version(input_);
}

std::uint64_t record_reader::position() {
    const auto at = input_.tellg();
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

bool record_reader::seek(std::uint64_t position) {
    input_.clear();
    input_.seekg(0, std::ios::end);
    const auto size = input_.tellg();
    if (size < 0 || position > static_cast<std::uint64_t>(size)) return false;
    input_.seekg(static_cast<std::streamoff>(position), std::ios::beg);
    return static_cast<bool>(input_);
}

record_reader::outcome record_reader::next(log_entry& record) {
    while (true) {
        if (!input_ || at_end(input_)) return outcome::end;
        try {
            if (!read_record(input_, version_, record)) {
                // The half-read record mixes two records' fields: it is dropped.
                log(L"[disk_log:ctor] Caught std::exception attempting to load entry: the file is cut off "
                    L"or damaged inside a record",
                    log_level::error);
                return outcome::damaged;
            }
        } catch (const std::exception& e) {
            log(L"[disk_log:ctor] Caught std::exception attempting to load entry: " + util::widen(e.what()),
                log_level::error);
            return outcome::damaged;
        } catch (...) {
            log(L"[disk_log:ctor] Caught unknown exception attempting to load entry.", log_level::error);
            return outcome::damaged;
        }
        if (log_enabled(log_level::old_record_trace)) {
            log(L"[disk_log] log_entry = " + loggable_row(record.to_csv_row()), log_level::old_record_trace);
        }
        if (record.is_valid_entry()) return outcome::record;
        log(L"[disk_log] skipping last entry, was invalid", log_level::old_record_skipped);
    }
}

}  // namespace kes::old_log
