#include "core/service/redaction.h"

#include "core/foundation/text.h"

#include <algorithm>
#include <array>
#include <string>

namespace kes::network {
namespace {

constexpr std::size_t shown = 4;
// Below this length the last 4 characters would give away too much.
constexpr std::size_t shortest_partly_shown = 12;

template <class Char>
std::basic_string<Char> redact(std::basic_string_view<Char> key) {
    std::basic_string<Char> out(4, Char('*'));
    if (key.size() >= shortest_partly_shown) out.append(key.substr(key.size() - shown));
    return out;
}

template <class Char>
std::basic_string<Char> prefix(std::basic_string_view<Char> text) {
    if (text.size() <= loggable_prefix_length) return std::basic_string<Char>(text);
    std::basic_string<Char> shown(text.substr(0, loggable_prefix_length));
    const std::string tail = "... [" + std::to_string(text.size()) + " in all]";
    shown.append(tail.begin(), tail.end());
    return shown;
}

}  // namespace

std::string loggable_prefix(std::string_view text) { return prefix(text); }
std::wstring loggable_prefix(std::wstring_view text) { return prefix(text); }

std::string redact_key(std::string_view key) { return redact(key); }
std::wstring redact_key(std::wstring_view key) { return redact(key); }

std::string loggable_field_value(std::string_view name, std::string_view value) {
    static constexpr std::array<std::string_view, 3> keys{"account_key", "data_key", "enterprise_team_key"};
    static constexpr std::array<std::string_view, 3> hidden{"password", "two_factor_auth_code", "proxy_password"};
    if (std::find(keys.begin(), keys.end(), name) != keys.end()) return redact_key(value);
    if (std::find(hidden.begin(), hidden.end(), name) != hidden.end()) return redacted;
    return std::string(value);
}

std::string loggable_header_value(std::string_view name, std::string_view value) {
    if (!util::equals_ignoring_ascii_case(name, "Authorization") && !util::equals_ignoring_ascii_case(name, "Proxy-Authorization")) {
        return std::string(value);
    }
    // Keep the scheme ("Bearer:"), hide the credential.
    const auto blank = value.find(' ');
    if (blank == std::string_view::npos) return redact_key(value);
    return std::string(value.substr(0, blank + 1)) + redact_key(value.substr(blank + 1));
}

}  // namespace kes::network
