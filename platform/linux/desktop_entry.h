#pragma once
// The parts of the freedesktop Desktop Entry format an autostart entry needs:
// an Exec value that runs one program, text values, and reading the keys of
// the main group back.

#include <map>
#include <optional>
#include <string>

namespace platform::desktop_entry {

// The Exec value that runs `program` (an absolute path) with no arguments:
// one quoted argument with '"', '`', '$' and '\' escaped inside the quotes,
// '%' doubled, and the string escapes of the value applied on top. nullopt
// when the path is not UTF-8 or holds a control character, which no Exec
// line can carry.
std::optional<std::string> exec_value(const std::string& program);

// A value of type string: backslash, line feed, tab and carriage return
// escaped, other control characters dropped.
std::string string_value(const std::string& text);

// Key -> value (as written) of the "[Desktop Entry]" group of an entry.
std::map<std::string, std::string> main_group(const std::string& text);

}  // namespace platform::desktop_entry
