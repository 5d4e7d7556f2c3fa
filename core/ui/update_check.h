#pragma once
// The rules of the update check: when an unattended check is due, and
// whether the released client version is newer than the running one.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kes {

using client_version_numbers = std::array<std::int32_t, 4>;

// Unattended checks come more than a week apart.
inline constexpr std::int64_t update_check_period_seconds = 604800;
// An unattended check that got no answer is tried again after an hour.
inline constexpr std::int64_t update_check_retry_seconds = 3600;

// Due when more than a week has passed since `last_check` (not at exactly a
// week). A last check in the future (a clock set back) is not due.
bool is_update_check_due(const boost::posix_time::ptime& last_check, const boost::posix_time::ptime& now);

// One to four integers separated by single characters ("1.2.3.45", "1.0.0");
// missing parts count as 0, so "1.0.0" reads as 1.0.0.0. What follows a
// fourth number is ignored; with fewer, the text ends after the last one.
// Nothing when the text has no such form.
std::optional<client_version_numbers> parse_client_version(std::wstring_view text);

// The four numbers joined by ".".
std::wstring client_version_text(const client_version_numbers& version);

// Compared number by number, first to last: newer at the first where the
// released one is higher, not newer at the first where it is lower.
bool is_newer_version(const client_version_numbers& released, const client_version_numbers& running);

}  // namespace kes
