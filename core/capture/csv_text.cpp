#include "core/capture/csv_text.h"

#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <array>

namespace kes {
namespace {

constexpr std::size_t time_text_length = 19;  // 2024-05-01 09:00:00
constexpr std::size_t empty_columns = 4;

bool is_scalar(std::uint32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

std::size_t utf8_length(std::uint32_t cp) {
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    return 4;
}

// Bytes of a quoted column: the two quotes, every character, and a second
// quote for each quote inside; false when a character has no UTF-8 form.
bool add_quoted_length(const std::wstring& text, std::size_t& length) {
    length += 2;
    for (const wchar_t ch : text) {
        const auto cp = static_cast<std::uint32_t>(ch);
        if (!is_scalar(cp)) return false;
        length += utf8_length(cp) + (ch == L'"' ? 1 : 0);
    }
    return true;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void append_quoted(std::string& out, const std::wstring& text) {
    out.push_back('"');
    for (const wchar_t ch : text) {
        if (ch == L'"') out.push_back('"');
        append_utf8(out, static_cast<std::uint32_t>(ch));
    }
    out.push_back('"');
}

void append_digits(std::string& out, long value, int width) {
    std::array<char, 8> digits{};
    for (int i = width - 1; i >= 0; --i) {
        digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits.data(), static_cast<std::size_t>(width));
}

std::string special_time_text(const boost::posix_time::ptime& t) {
    return util::narrow(util::ptime_to_api_wstr(t));
}

// "%Y-%m-%d %H:%M:%S"; the special values keep the formatter's own words.
void append_time(std::string& out, const boost::posix_time::ptime& t) {
    if (t.is_special()) {
        out.append(special_time_text(t));
        return;
    }
    const auto date = t.date();
    const auto time = t.time_of_day();
    append_digits(out, date.year(), 4);
    out.push_back('-');
    append_digits(out, date.month(), 2);
    out.push_back('-');
    append_digits(out, date.day(), 2);
    out.push_back(' ');
    append_digits(out, time.hours(), 2);
    out.push_back(':');
    append_digits(out, time.minutes(), 2);
    out.push_back(':');
    append_digits(out, time.seconds(), 2);
}

// Every column quoted, eleven commas and a line feed per row.
constexpr std::size_t fixed_per_row = 2 * 2 + empty_columns * 2 + 11 + 1;

bool add_row_length(const log_entry& record, std::size_t& length) {
    length += fixed_per_row;
    for (const std::wstring* text : {&record.get_application_name(), &record.get_process_version(),
                                     &record.get_process_hash(), &record.get_window_title(),
                                     &record.get_extended_info(), &record.get_entry_type()}) {
        if (!add_quoted_length(*text, length)) return false;
    }
    for (const auto* t : {&record.get_started(), &record.get_completed()}) {
        length += t->is_special() ? special_time_text(*t).size() : time_text_length;
    }
    return true;
}

void append_row(std::string& out, const log_entry& record) {
    append_quoted(out, record.get_application_name());
    out.push_back(',');
    append_quoted(out, record.get_process_version());
    out.push_back(',');
    append_quoted(out, record.get_process_hash());
    out.push_back(',');
    append_quoted(out, record.get_window_title());
    out.push_back(',');
    append_quoted(out, record.get_extended_info());
    for (const auto* t : {&record.get_started(), &record.get_completed()}) {
        out.append(",\"");
        append_time(out, *t);
        out.push_back('"');
    }
    out.push_back(',');
    append_quoted(out, record.get_entry_type());
    out.append(",\"\",\"\",\"\",\"\"\n");
}

}  // namespace

std::optional<std::string> csv_utf8(const activity_log& records) {
    std::size_t length = 0;
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (!add_row_length(*it, length)) return std::nullopt;
    }
    std::string out;
    out.reserve(length);
    for (auto it = records.begin(); it != records.end(); ++it) append_row(out, *it);
    return out;
}

std::optional<std::string> csv_row_utf8(const log_entry& record) {
    std::size_t length = 0;
    if (!add_row_length(record, length)) return std::nullopt;
    std::string out;
    out.reserve(length);
    append_row(out, record);
    return out;
}

std::string csv_row_utf8_lossy(const log_entry& record) {
    std::optional<std::string> row = csv_row_utf8(record);
    return row ? std::move(*row) : util::wstring_to_utf8_lossy(record.to_csv_row());
}

}  // namespace kes
