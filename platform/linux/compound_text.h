#pragma once
// Window titles set by old X clients may be COMPOUND_TEXT (an ISO 2022
// form). This turns its usual forms into UTF-8: ASCII and Latin-1 (the
// initial state and their designations) and UTF-8 segments. Other
// character sets give nothing, so the caller keeps the bytes as they are.
// Like the library converters, only the text before the first NUL (the
// first element of a text list) is returned.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::optional<std::string> compound_text_to_utf8(std::string_view text);

// ISO 8859-1 bytes as UTF-8.
std::string latin1_to_utf8(std::string_view text);

}  // namespace platform
