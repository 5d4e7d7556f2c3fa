#include "platform/linux/desktop_entry.h"

#include <cstdint>

namespace platform::desktop_entry {
namespace {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool is_utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            code = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            code = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            code = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

bool is_control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<std::string> exec_value(const std::string& program) {
    if (!is_utf8(program)) return std::nullopt;
    std::string quoted = "\"";
    for (const char c : program) {
        if (is_control(c)) return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    quoted += '"';
    // The string escapes are undone before the quoting is read, so each
    // backslash of the quoted form is written twice.
    std::string value;
    for (const char c : quoted) value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

std::string string_value(const std::string& text) {
    std::string value;
    for (const char c : text) {
        switch (c) {
            case '\\': value += "\\\\"; break;
            case '\n': value += "\\n"; break;
            case '\t': value += "\\t"; break;
            case '\r': value += "\\r"; break;
            default:
                if (!is_control(c)) value += c;
        }
    }
    return value;
}

std::map<std::string, std::string> main_group(const std::string& text) {
    std::map<std::string, std::string> keys;
    bool in_main_group = false;
    for (std::size_t at = 0; at < text.size();) {
        auto end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            in_main_group = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!in_main_group || equals == std::string::npos) continue;
        keys.emplace(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
    }
    return keys;
}

}  // namespace platform::desktop_entry
