#include "core/foundation/text.h"

#include "core/foundation/debug_log.h"

#include <curl/curl.h>
#include <utf8cpp/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace kes {
namespace {

// utfcpp's checked functions refuse surrogates, values above U+10FFFF,
// overlong forms and truncated sequences; the C++ library's converters on
// this platform let surrogates through, so they are not used.
std::string encode_checked(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    try {
        for (const wchar_t ch : text) {
            ::utf8::append(static_cast<std::uint32_t>(ch),
                           std::back_inserter(out));
        }
    } catch (const ::utf8::exception& e) {
        throw std::range_error(std::string("invalid code point: ") + e.what());
    }
    return out;
}

std::wstring decode_checked(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    auto it = bytes.begin();
    try {
        while (it != bytes.end()) {
            out.push_back(static_cast<wchar_t>(::utf8::next(it, bytes.end())));
        }
    } catch (const ::utf8::exception& e) {
        throw std::range_error(std::string("invalid UTF-8: ") + e.what());
    }
    return out;
}

}  // namespace

utf8::utf8(const char* bytes) : utf8(bytes ? std::string_view(bytes) : std::string_view()) {}

utf8::utf8(std::string_view bytes) {
    if (bytes.size() > max_length) {
        log(L"[uft8:ctor] Input string was larger than the allowed maximum.", log_level::error);
        bytes = bytes.substr(0, max_length);
    }
    buffer_ = std::make_shared<const std::string>(bytes);
}

utf8::utf8(std::string&& bytes) {
    if (bytes.size() > max_length) {
        log(L"[uft8:ctor] Input string was larger than the allowed maximum.", log_level::error);
        bytes.resize(max_length);
    }
    buffer_ = std::make_shared<const std::string>(std::move(bytes));
}

utf8::utf8(const std::wstring& text) {
    std::wstring_view view = text;
    if (view.size() > max_length) {
        log(L"[uft8:ctor] Input string was larger than the allowed maximum.", log_level::error);
        view = view.substr(0, max_length);
    }
    try {
        buffer_ = std::make_shared<const std::string>(encode_checked(view));
    } catch (const std::exception& e) {
        log(L"[utf8:ctor] Caught std::exception running utf32to8: " + util::widen(e.what()), log_level::error);
        buffer_ = std::make_shared<const std::string>();
    } catch (...) {
        log(L"[utf8:ctor] Caught unknown exception running utf32to8", log_level::error);
        buffer_ = std::make_shared<const std::string>();
    }
}

const std::string& utf8::str() const {
    static const std::string empty;
    return buffer_ ? *buffer_ : empty;
}

std::wstring utf8::to_wstring() const {
    const std::string_view whole(c_str());
    try {
        return decode_checked(whole);
    } catch (const std::exception& e) {
        log(L"[utf8:to_wstring] Caught std::exception " + util::widen(e.what()) +
                L" while running utf8to32",
            log_level::error);
        return {};
    } catch (...) {
        log(L"[utf8:to_wstring] Caught exception running utf8to32", log_level::error);
        return {};
    }
}

bool utf8::operator==(const utf8& other) const {
    if (buffer_ && buffer_ == other.buffer_) return true;
    if (!buffer_ || !other.buffer_) return false;
    return *buffer_ == *other.buffer_;
}

std::wstring to_wstr(std::string_view bytes) { return util::widen(bytes); }

namespace util {

std::wstring utf8_to_wstring(std::string_view bytes) { return decode_checked(bytes); }

std::string wstring_to_utf8(std::wstring_view text) { return encode_checked(text); }

std::wstring utf8_to_wstring_lossy(std::string_view bytes) {
    std::string valid;
    ::utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(valid), 0xFFFD);
    return decode_checked(valid);
}

std::string wstring_to_utf8_lossy(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t ch : text) {
        const auto cp = static_cast<std::uint32_t>(ch);
        const bool scalar = cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        ::utf8::unchecked::append(scalar ? cp : 0xFFFDu, std::back_inserter(out));
    }
    return out;
}

std::wstring widen(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (const char c : bytes) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string narrow(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text) out.push_back(static_cast<char>(static_cast<std::uint32_t>(c) & 0xFF));
    return out;
}

std::wstring int_to_wstr(std::int32_t value) {
    std::wstring out;
    const long long wide = value;
    if (wide < 0) out += L'-';
    append_decimal(out, static_cast<unsigned long long>(wide < 0 ? -wide : wide));
    return out;
}

void append_decimal(std::wstring& out, unsigned long long value, int width) {
    wchar_t digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = count; i < width; ++i) out += L'0';
    while (count > 0) out += digits[--count];
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::wstring address_text(const void* address) {
    char text[2 + 2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring to_lower(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return out;
}

std::wstring to_upper(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return out;
}

bool starts_with(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool contains(std::wstring_view text, std::wstring_view part) {
    return text.find(part) != std::wstring_view::npos;
}

std::wstring replace_all(std::wstring_view text, std::wstring_view from, std::wstring_view to) {
    std::wstring out;
    if (from.empty() || from == to) return std::wstring(text);
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::wstring_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::wstring without_control_characters(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) c = L' ';
    }
    return out;
}

namespace {

bool needs_escape(wchar_t c) {
    const auto code = static_cast<std::uint32_t>(c);
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029;
}

}  // namespace

std::wstring escape_control_characters(std::wstring_view text) {
    if (std::none_of(text.begin(), text.end(), needs_escape)) return std::wstring(text);
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(text.size() + 16);
    for (const wchar_t c : text) {
        if (!needs_escape(c)) {
            out += c;
            continue;
        }
        const auto code = static_cast<std::uint32_t>(c);
        switch (c) {
            case L'\n': out += L"\\n"; break;
            case L'\r': out += L"\\r"; break;
            case L'\t': out += L"\\t"; break;
            default:
                if (code > 0xFF) {
                    out += L"\\u";
                    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(code >> shift) & 0xF];
                } else {
                    out += L"\\x";
                    out += digits[code >> 4];
                    out += digits[code & 0xF];
                }
        }
    }
    return out;
}

std::wstring url_escape(const std::wstring& text) {
    const kes::utf8 bytes(text);
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle) return {};
    std::unique_ptr<char, decltype(&curl_free)> escaped(
        curl_easy_escape(handle.get(), bytes.c_str(), static_cast<int>(bytes.size())), &curl_free);
    if (!escaped) return {};
    return widen(escaped.get());
}

std::wstring csv_quote(std::wstring_view field) {
    std::wstring out;
    out.reserve(field.size() + 2);
    out.push_back(L'"');
    for (const wchar_t c : field) {
        if (c == L'"') out.push_back(L'"');
        out.push_back(c == L'\0' ? L' ' : c);
    }
    out.push_back(L'"');
    return out;
}

std::wstring csv_unquote(std::wstring_view field) {
    // A field shorter than its two quotes has nothing inside them.
    if (field.size() < 2) return {};
    return replace_all(field.substr(1, field.size() - 2), L"\"\"", L"\"");
}

}  // namespace util
}  // namespace kes
