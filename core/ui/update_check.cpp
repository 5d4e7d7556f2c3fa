#include "core/ui/update_check.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <limits>

namespace kes {
namespace {

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One integer from `at`, which moves past it.
std::optional<std::int32_t> read_integer(std::wstring_view text, std::size_t& at) {
    bool negative = false;
    if (at < text.size() && (text[at] == L'-' || text[at] == L'+')) {
        negative = text[at] == L'-';
        ++at;
    }
    if (at >= text.size() || !is_digit(text[at])) return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size() && is_digit(text[at]); ++at) {
        value = value * 10 + (text[at] - L'0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

bool is_update_check_due(const boost::posix_time::ptime& last_check, const boost::posix_time::ptime& now) {
    if (now.is_special()) return false;
    if (last_check.is_special()) return true;
    return (now - last_check).total_seconds() > update_check_period_seconds;
}

std::optional<client_version_numbers> parse_client_version(std::wstring_view text) {
    client_version_numbers version{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < version.size(); ++part) {
        if (part > 0) {
            // A shorter version ends here; "1.0.0" is the release 1.0.0.0.
            if (at == text.size()) return version;
            // Exactly one separating character, and it is not part of a number.
            if (is_digit(text[at])) return std::nullopt;
            ++at;
        }
        const std::optional<std::int32_t> number = read_integer(text, at);
        if (!number) return std::nullopt;
        version[part] = *number;
    }
    return version;
}

std::wstring client_version_text(const client_version_numbers& version) {
    std::wstring text;
    for (std::size_t part = 0; part < version.size(); ++part) {
        if (part > 0) text += L'.';
        text += std::to_wstring(version[part]);
    }
    return text;
}

bool is_newer_version(const client_version_numbers& released, const client_version_numbers& running) {
    for (std::size_t part = 0; part < released.size(); ++part) {
        if (running[part] < released[part]) return true;
        if (running[part] > released[part]) return false;
    }
    return false;
}

}  // namespace kes
