#pragma once
// Boundary conversions between the program's wide strings (one code point per
// character) and UTF-8, plus the few string operations several components share.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kes {

// An owned UTF-8 text. Built from a wide string it validates (an invalid code
// point gives the empty text and an error line); built from bytes it trusts them.
class utf8 {
public:
    static constexpr std::size_t max_length = 0x8000000;

    explicit utf8(const char* bytes);
    explicit utf8(std::string_view bytes);
    // Takes the bytes over without copying them.
    explicit utf8(std::string&& bytes);
    explicit utf8(const std::wstring& text);

    const char* c_str() const { return buffer_ ? buffer_->c_str() : ""; }
    std::size_t size() const { return buffer_ ? buffer_->size() : 0; }
    const std::string& str() const;

    // Decodes up to the first NUL; invalid UTF-8 gives the empty text and an error line.
    std::wstring to_wstring() const;

    bool operator==(const utf8& other) const;
    bool operator!=(const utf8& other) const { return !(*this == other); }

private:
    std::shared_ptr<const std::string> buffer_;
};

std::wstring to_wstr(std::string_view bytes);

namespace util {

// Strict conversions: invalid input throws std::range_error.
std::wstring utf8_to_wstring(std::string_view bytes);
std::string wstring_to_utf8(std::wstring_view text);

// Lenient forms for places that must not fail (logging, display): invalid
// input is replaced by U+FFFD.
std::wstring utf8_to_wstring_lossy(std::string_view bytes);
std::string wstring_to_utf8_lossy(std::wstring_view text);

std::wstring widen(std::string_view bytes);
std::string narrow(std::wstring_view text);
// Both write decimal digits without the wide printf that std::to_wstring
// goes through (slow enough to show in a scanner pass). `append_decimal`
// pads to at least `width` digits with zeros.
std::wstring int_to_wstr(std::int32_t value);
void append_decimal(std::wstring& out, unsigned long long value, int width = 1);

// ASCII letters compared without their case (header names, URL schemes).
bool equals_ignoring_ascii_case(std::string_view a, std::string_view b);
// An object's address as "0x" and lowercase hex digits, for log lines.
std::wstring address_text(const void* address);

std::wstring to_lower(std::wstring_view text);
std::wstring to_upper(std::wstring_view text);
bool starts_with(std::wstring_view text, std::wstring_view prefix);
bool contains(std::wstring_view text, std::wstring_view part);
std::wstring replace_all(std::wstring_view text, std::wstring_view from, std::wstring_view to);
// Each control character (C0 with tab and line feed, DEL, C1) becomes a space.
std::wstring without_control_characters(std::wstring_view text);
// A text from outside (a window title, a page address, a peer's message) as
// part of one debug-log line: each control character (C0, DEL, C1) and the
// Unicode line and paragraph separators are written as escapes ("\n", "\r",
// "\t", else "\xHH" or "\uHHHH"), so no text can end the line and begin one
// that reads as the agent's own. Everything else, backslashes too, stays.
std::wstring escape_control_characters(std::wstring_view text);

std::wstring url_escape(const std::wstring& text);
// A CSV field in quotes, each quote inside doubled and each NUL a space:
// many CSV readers refuse the byte.
std::wstring csv_quote(std::wstring_view field);
std::wstring csv_unquote(std::wstring_view field);

}  // namespace util
}  // namespace kes
