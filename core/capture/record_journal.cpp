#include "core/capture/record_journal.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/files/paths.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/files/regular_file.h"
#include "core/foundation/files/replace_file.h"
#include "core/foundation/text.h"

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

namespace kes {
namespace {

constexpr const char* segment_suffix = ".journal";
constexpr const char* marker_suffix = ".flushed";
constexpr std::size_t checksum_digits = 8;
// A marker holds one number. A segment holds the records of one flush
// (10,000 at the most, a few hundred bytes each); the limit leaves room for
// long titles and addresses and refuses what no segment of ours holds.
constexpr std::size_t max_marker_bytes = 64;
constexpr std::size_t max_segment_bytes = 32 * 1024 * 1024;

std::wstring path_text(const std::string& path) { return util::utf8_to_wstring_lossy(path); }

bool ends_with(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::optional<std::uint64_t> parse_number(std::string_view digits) {
    if (digits.empty() || digits.size() > 18) return std::nullopt;
    std::uint64_t number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return number;
}

std::optional<std::uint64_t> segment_number(const std::string& name) {
    if (!ends_with(name, segment_suffix)) return std::nullopt;
    return parse_number(std::string_view(name).substr(0, name.size() - std::strlen(segment_suffix)));
}

std::uint32_t checksum(std::string_view text) {
    return static_cast<std::uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

std::string hex8(std::uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text(checksum_digits, '0');
    for (std::size_t i = checksum_digits; i-- > 0; value >>= 4) text[i] = digits[value & 0xF];
    return text;
}


bool unescape(std::string_view escaped, std::string& row) {
    row.clear();
    row.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            row.push_back(escaped[i]);
            continue;
        }
        if (++i == escaped.size()) return false;
        switch (escaped[i]) {
            case '\\': row.push_back('\\'); break;
            case 'n': row.push_back('\n'); break;
            case 'r': row.push_back('\r'); break;
            default: return false;
        }
    }
    return true;
}

bool read_line(std::string_view line, std::string& row) {
    if (line.size() <= checksum_digits || line[checksum_digits] != ' ') return false;
    const std::string_view escaped = line.substr(checksum_digits + 1);
    return hex8(checksum(escaped)) == line.substr(0, checksum_digits) && unescape(escaped, row);
}

// Text another writer left at the end of the open segment without a line
// feed runs into the next whole line: that line is the longest tail of the
// damaged one that passes its check.
bool read_line_after_damage(std::string_view line, std::string& row) {
    for (std::size_t start = 1; start + checksum_digits < line.size(); ++start) {
        if (line[start + checksum_digits] == ' ' && read_line(line.substr(start), row)) return true;
    }
    return false;
}

}  // namespace

std::string journal_line(std::string_view row) {
    std::string escaped;
    escaped.reserve(row.size() + 8);
    for (const char c : row) {
        switch (c) {
            case '\\': escaped += "\\\\"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            default: escaped.push_back(c);
        }
    }
    std::string line = hex8(checksum(escaped));
    line.reserve(line.size() + escaped.size() + 2);
    line.push_back(' ');
    line += escaped;
    line.push_back('\n');
    return line;
}

std::string journal_rows(std::string_view segment_text, std::size_t& damaged) {
    std::string rows;
    std::string row;
    std::size_t start = 0;
    while (start < segment_text.size()) {
        const std::size_t end = segment_text.find('\n', start);
        // A last line without its line feed was cut off while written.
        if (end == std::string_view::npos) {
            ++damaged;
            break;
        }
        const std::string_view line = segment_text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;  // ends a torn line, see append
        if (read_line(line, row)) {
            rows += row;
            continue;
        }
        ++damaged;
        if (read_line_after_damage(line, row)) rows += row;
    }
    return rows;
}

record_journal::record_journal(std::string folder) : folder_(std::move(folder)) {}

record_journal::~record_journal() = default;

std::string record_journal::segment_path(std::uint64_t number) const {
    return folder_ + "/" + std::to_string(number) + segment_suffix;
}

std::string record_journal::marker_path(const staged_upload& upload) const {
    return folder_ + "/" + upload.file_name() + marker_suffix;
}

record_journal::leftovers record_journal::recover() {
    leftovers found;
    if (folder_.empty()) return found;
    try {
        fs::create_private_directories(folder_);
        std::map<std::uint64_t, std::string> segments;
        std::uint64_t committed_through = 0;
        std::uint64_t highest = 0;
        for (const auto& path : filesystem::list_directory(folder_)) {
            const std::string name = filesystem::filename(path);
            if (const auto number = segment_number(name)) {
                segments.emplace(*number, path);
                highest = std::max(highest, *number);
            } else if (ends_with(name, marker_suffix)) {
                const auto upload = staged_upload::from_file_name(
                    std::string_view(name).substr(0, name.size() - std::strlen(marker_suffix)));
                const fs::file_contents marker = fs::read_regular_file(path, max_marker_bytes);
                const std::string& content = marker.bytes;
                const auto through = marker.is_read() && !content.empty() && content.back() == '\n'
                                         ? parse_number(std::string_view(content).substr(0, content.size() - 1))
                                         : std::nullopt;
                if (!upload || !through) {
                    // Markers are written whole or not at all: this one is no marker of ours.
                    log(L"[logger:ctor] Ignoring the unreadable journal marker " + path_text(path), log_level::error);
                    continue;
                }
                found.committed.push_back(*upload);
                committed_through = std::max(committed_through, *through);
                highest = std::max(highest, *through);
            } else if (filesystem::extension(name) == ".tmp") {
                ::unlink(path.c_str());  // a marker a crash cut off: nothing was committed by it
            }
        }
        found.committed_through = committed_through;
        found.rows_through = committed_through;
        for (const auto& [number, path] : segments) {
            if (number <= committed_through) continue;
            const fs::file_contents segment = fs::read_regular_file(path, max_segment_bytes);
            if (!segment.is_read()) {
                log(L"[logger:ctor] Could not read the journal segment " + path_text(path) + L": " +
                        util::utf8_to_wstring_lossy(segment.describe()),
                    log_level::error);
                continue;
            }
            found.rows += journal_rows(segment.bytes, found.damaged_lines);
            found.rows_through = number;
        }
        open_number_ = highest + 1;
        enabled_ = true;
    } catch (const std::exception& e) {
        log(L"[logger:ctor] The record journal is not usable, recording without it: " + util::widen(e.what()),
            log_level::error);
    }
    return found;
}

void record_journal::drop_committed(const leftovers& found, const std::vector<staged_upload>& still_staged) {
    if (!enabled_ || found.committed.empty()) return;
    remove_segments_through(found.committed_through);
    for (const auto& upload : found.committed) {
        const bool staged = std::any_of(still_staged.begin(), still_staged.end(),
                                        [&](const staged_upload& kept) { return kept.uuid == upload.uuid; });
        if (!staged) ::unlink(marker_path(upload).c_str());
    }
}

void record_journal::drop_segments_through(std::uint64_t through) {
    if (enabled_) remove_segments_through(through);
}

bool record_journal::open() {
    if (!enabled_) return false;
    open_segment(open_number_);
    return segment_ != nullptr;
}

void record_journal::open_segment(std::uint64_t number) {
    segment_.reset();
    ends_with_own_line_ = false;
    // O_NOFOLLOW: a planted link must not redirect the records; nor may a
    // pipe at the segment's name hold recording once its buffer is full.
    // Readable too: an append that did not write the last line itself first
    // looks at the segment's last byte.
    fs::opened_file opened = fs::open_regular_file(segment_path(number), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW);
    if (!opened.is_open()) {
        // Every record tries again; one line says so until a write succeeds.
        if (!failing_) {
            log(L"[logger:log] Could not open the journal segment " + path_text(segment_path(number)) + L": " +
                    util::widen(opened.describe()) + L"; the records stay in memory",
                log_level::error);
        }
        failing_ = true;
        return;
    }
    segment_ = std::make_unique<fs::unique_fd>(std::move(opened.fd));
}

bool record_journal::append(std::string_view row) {
    if (!enabled_) return false;
    if (!segment_) open_segment(open_number_);
    if (!segment_) return false;
    // A failed write, or a crash before this run, may have left half a line
    // at the end: the line feed in front closes it, so this line still reads
    // back. Damage by anyone else after our last line is left to the reader.
    const bool close_torn_line = !ends_with_own_line_ && fs::ends_inside_a_line(segment_->get());
    const std::string line = (close_torn_line ? "\n" : "") + journal_line(row);
    ends_with_own_line_ = false;
    if (fs::write_all(segment_->get(), line)) {
        ends_with_own_line_ = true;
        failing_ = false;
        return true;
    }
    if (!failing_) {
        log(L"[logger:log] Could not write to the record journal: " + util::widen(std::strerror(errno)) +
                L"; the records stay in memory",
            log_level::error);
    }
    failing_ = true;
    return false;
}

std::uint64_t record_journal::seal() {
    if (!enabled_) return 0;
    const std::uint64_t sealed = open_number_;
    ++open_number_;
    open_segment(open_number_);
    return sealed;
}

bool record_journal::commit(std::uint64_t through, const staged_upload& upload) {
    if (!enabled_) return true;
    std::string error;
    if (fs::replace_file_atomically(marker_path(upload), std::to_string(through) + "\n", error)) return true;
    log(L"[logger:write_current_log_to_disk] Could not write the journal marker " +
            path_text(marker_path(upload)) + L": " + util::widen(error),
        log_level::error);
    return false;
}

void record_journal::discard(std::uint64_t through, const staged_upload& upload) {
    if (!enabled_) return;
    remove_segments_through(through);
    ::unlink(marker_path(upload).c_str());
}

void record_journal::remove_segments_through(std::uint64_t through) {
    try {
        for (const auto& path : filesystem::list_directory(folder_)) {
            const auto number = segment_number(filesystem::filename(path));
            if (number && *number <= through) ::unlink(path.c_str());
        }
    } catch (const std::exception& e) {
        log(L"[logger:write_current_log_to_disk] Could not clear the record journal: " + util::widen(e.what()),
            log_level::error);
    }
}

}  // namespace kes
