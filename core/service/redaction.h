#pragma once
// Secrets never reach the debug log: these give the form that may.

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

}  // namespace kes::network
