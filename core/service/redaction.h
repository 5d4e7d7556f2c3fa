#pragma once
// Secrets never reach the debug log: these give the form that may.

#include <cstddef>
#include <string>
#include <string_view>

namespace kes::network {

// A key shows only its last 4 characters ("****abcd"); a short one shows none.
std::string redact_key(std::string_view key);
std::wstring redact_key(std::wstring_view key);

// Passwords and codes show nothing of themselves.
inline constexpr const char* redacted = "[redacted]";

// The loggable form of a form field's value: keys redacted to their last 4
// characters, passwords and codes fully; other fields unchanged.
std::string loggable_field_value(std::string_view name, std::string_view value);

// The loggable form of a request header's value (Authorization is redacted).
std::string loggable_header_value(std::string_view name, std::string_view value);

// The loggable form of a long text (an answer body, a text the service sent,
// a form field): at most its first `loggable_prefix_length` bytes or
// characters, with its whole length when it was longer. A hostile service
// cannot grow the debug log by more than this per line.
inline constexpr std::size_t loggable_prefix_length = 2048;
std::string loggable_prefix(std::string_view text);
std::wstring loggable_prefix(std::wstring_view text);

}  // namespace kes::network
