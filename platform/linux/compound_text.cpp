#include "platform/linux/compound_text.h"

namespace platform {
namespace {

constexpr char escape = '\x1b';

void append_latin1(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string latin1_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) append_latin1(out, static_cast<unsigned char>(c));
    return out;
}

std::optional<std::string> compound_text_to_utf8(std::string_view text) {
    static constexpr std::string_view ascii_to_left = "\x1b(B";
    static constexpr std::string_view latin1_to_right = "\x1b-A";
    static constexpr std::string_view utf8_begins = "\x1b%G";
    static constexpr std::string_view utf8_ends = "\x1b%@";

    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size() && text[i] != '\0') {
        const std::string_view rest = text.substr(i);
        if (text[i] == escape) {
            if (rest.substr(0, ascii_to_left.size()) == ascii_to_left) {
                i += ascii_to_left.size();
            } else if (rest.substr(0, latin1_to_right.size()) == latin1_to_right) {
                i += latin1_to_right.size();
            } else if (rest.substr(0, utf8_begins.size()) == utf8_begins) {
                const std::size_t begin = i + utf8_begins.size();
                const std::size_t end = text.find(utf8_ends, begin);
                const std::string_view segment =
                    text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
                const std::size_t nul = segment.find('\0');
                out.append(segment.substr(0, nul));
                if (nul != std::string_view::npos || end == std::string_view::npos) return out;
                i = end + utf8_ends.size();
            } else {
                return std::nullopt;  // another character set
            }
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        // C0 and C1 controls other than tab and line feed (direction
        // sequences among them) are not text.
        if ((c < 0x20 && c != '\t' && c != '\n') || (c >= 0x80 && c < 0xA0)) return std::nullopt;
        append_latin1(out, c);
        ++i;
    }
    return out;
}

}  // namespace platform
