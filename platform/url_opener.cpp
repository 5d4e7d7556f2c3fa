#include "platform/url_opener.h"

#include <algorithm>
#include <cctype>

namespace platform {

namespace {

bool is_scheme_char(unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; }

bool is_hex_digit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// What may stand unescaped in an address: the unreserved and reserved
// characters of RFC 3986.
bool may_stand_in_address(unsigned char c) {
    if (std::isalnum(c)) return true;
    static const std::string allowed = "-._~:/?#[]@!$&'()*+,;=";
    return c < 0x80 && allowed.find(static_cast<char>(c)) != std::string::npos;
}

}  // namespace

std::string escape_illegal_url_characters(const std::string& utf8_address) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8_address.size());
    for (std::size_t i = 0; i < utf8_address.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8_address[i]);
        const bool escape_already = byte == '%' && i + 2 < utf8_address.size() &&
                                    is_hex_digit(utf8_address[i + 1]) && is_hex_digit(utf8_address[i + 2]);
        if (escape_already || may_stand_in_address(byte)) {
            out += static_cast<char>(byte);
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

std::optional<std::string> web_page_refusal(const std::string& address) {
    if (address.empty()) return "the address is empty";
    const bool unescaped = std::any_of(address.begin(), address.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
    if (unescaped) return "the address holds a blank or a control character (it is not escaped)";

    const std::size_t colon = address.find(':');
    const bool scheme_ok = colon != std::string::npos && colon > 0 &&
                           std::isalpha(static_cast<unsigned char>(address[0])) &&
                           std::all_of(address.begin(), address.begin() + static_cast<long>(colon),
                                       [](char c) { return is_scheme_char(static_cast<unsigned char>(c)); });
    if (!scheme_ok) return "the address has no scheme";
    std::string scheme = address.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme != "http" && scheme != "https") {
        return "only http and https addresses are opened, not " + scheme.substr(0, 32) + ":";
    }
    if (address.compare(colon + 1, 2, "//") != 0) return "the address names no host";
    const std::size_t host_start = colon + 3;
    const std::size_t host_end = address.find_first_of("/?#", host_start);
    std::string authority = address.substr(host_start, host_end - host_start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    if (authority.empty() || authority[0] == ':') return "the address names no host";
    return std::nullopt;
}

}  // namespace platform
