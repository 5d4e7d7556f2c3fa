#include "core/capture/csv_text.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <array>
#include <cstdint>
#include <string_view>

namespace kes {
namespace {

constexpr std::uint32_t valid_entry_level = 512;
constexpr std::uint32_t replacement_character = 0xFFFD;

bool is_scalar(std::uint32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

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

// A row as UTF-8. Strict: the first character without a UTF-8 form spoils
// the row; lossy: it becomes U+FFFD.
class utf8_row {
public:
    utf8_row(std::string& text, bool lossy) : text_(text), lossy_(lossy) {}
    void raw(std::string_view ascii) { text_.append(ascii); }
    void quoted(const std::wstring& value) {
        text_.push_back('"');
        for (const wchar_t ch : value) {
            auto cp = static_cast<std::uint32_t>(ch);
            if (!is_scalar(cp)) {
                if (!lossy_) {
                    complete_ = false;
                    return;
                }
                cp = replacement_character;
            }
            if (ch == L'"') text_.push_back('"');
            if (cp == 0) cp = ' ';
            append_utf8(text_, cp);
        }
        text_.push_back('"');
    }
    bool complete() const { return complete_; }

private:
    std::string& text_;
    const bool lossy_;
    bool complete_ = true;
};

class wide_row {
public:
    explicit wide_row(std::wstring& text) : text_(text) {}
    void raw(std::string_view ascii) { text_.append(ascii.begin(), ascii.end()); }
    void quoted(const std::wstring& value) { text_ += util::csv_quote(value); }

private:
    std::wstring& text_;
};

template <class Row>
void write_time(Row& out, const boost::posix_time::ptime& t) {
    if (t.is_special()) {
        // The formatter's own words ("not-a-date-time", "+infinity").
        out.raw(util::narrow(util::ptime_to_api_wstr(t)));
        return;
    }
    // "%Y-%m-%d %H:%M:%S"
    std::array<char, 19> text{};
    const auto put = [&text](std::size_t at, long value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    const auto date = t.date();
    const auto time = t.time_of_day();
    put(0, date.year(), 4);
    text[4] = '-';
    put(5, date.month(), 2);
    text[7] = '-';
    put(8, date.day(), 2);
    text[10] = ' ';
    put(11, time.hours(), 2);
    text[13] = ':';
    put(14, time.minutes(), 2);
    text[16] = ':';
    put(17, time.seconds(), 2);
    out.raw(std::string_view(text.data(), text.size()));
}

template <class Row>
void write_row(Row& out, const log_entry& record) {
    out.quoted(record.get_application_name());
    out.raw(",");
    out.quoted(record.get_process_version());
    out.raw(",");
    out.quoted(record.get_process_hash());
    out.raw(",");
    out.quoted(record.get_window_title());
    out.raw(",");
    out.quoted(record.get_extended_info());
    for (const auto* t : {&record.get_started(), &record.get_completed()}) {
        out.raw(",\"");
        write_time(out, *t);
        out.raw("\"");
    }
    out.raw(",");
    out.quoted(record.get_entry_type());
    out.raw(",\"\",\"\",\"\",\"\"\n");
}

// Room for the usual row: the texts, the quotes, commas and both times.
std::size_t expected_row_size(const log_entry& record) {
    return 64 + record.get_application_name().size() + record.get_process_version().size() +
           record.get_process_hash().size() + record.get_window_title().size() + record.get_extended_info().size() +
           record.get_entry_type().size();
}

std::string utf8_row_text(const log_entry& record, bool lossy, bool& complete) {
    std::string text;
    text.reserve(expected_row_size(record));
    utf8_row out(text, lossy);
    write_row(out, record);
    complete = out.complete();
    return text;
}

}  // namespace

std::optional<std::string> csv_row_utf8(const log_entry& record) {
    bool complete = false;
    std::string text = utf8_row_text(record, false, complete);
    if (!complete) return std::nullopt;
    return text;
}

std::string csv_row_utf8_lossy(const log_entry& record) {
    bool complete = false;
    return utf8_row_text(record, true, complete);
}

std::wstring csv_row_wide(const log_entry& record) {
    std::wstring text;
    text.reserve(expected_row_size(record));
    wide_row out(text);
    write_row(out, record);
    return text;
}

std::optional<std::string> csv_utf8(const activity_log& records) {
    std::string text;
    for (auto it = records.begin(); it != records.end(); ++it) {
        std::optional<std::string> row = csv_row_utf8(*it);
        if (!row) return std::nullopt;
        text += *row;
    }
    return text;
}

std::wstring loggable_row(std::wstring_view row) {
    const bool ends_line = !row.empty() && row.back() == L'\n';
    if (ends_line) row.remove_suffix(1);
    std::wstring text = util::escape_control_characters(row);
    if (ends_line) text += L'\n';
    return text;
}

std::optional<std::string> valid_csv_row(const log_entry& record) {
    std::optional<std::string> row = csv_row_utf8(record);
    if (!row) {
        const std::wstring wide = csv_row_wide(record);
        // The conversion logs the reason the row has no UTF-8 form.
        const utf8 refused(wide);
        log(L"[log_entry:is_valid_entry] Invalid entry!", log_level::error);
        log(L"[log_entry:is_valid_entry] Found invalid entry: " + loggable_row(wide), log_level::error);
        return std::nullopt;
    }
    if (log_enabled(valid_entry_level)) {
        log(L"[log_entry:is_valid_entry: Valid entry is: " + loggable_row(util::utf8_to_wstring_lossy(*row)),
            valid_entry_level);
    }
    return row;
}

}  // namespace kes
