#pragma once
// The binary form of a wide string in old activity-log files: an unsigned
// 64-bit little-endian character count, then each character as a 32-bit
// little-endian code point. Strings over 4,095 characters are stored as their
// count alone and read back empty.

#include <istream>
#include <ostream>
#include <string>

namespace kes::util {

inline constexpr std::size_t max_stored_wstring_length = 4095;

std::ostream& write_wstring(std::ostream& out, const std::wstring& text);

// On a short read the stream is left failed and `text` must be discarded.
std::istream& read_wstring(std::istream& in, std::wstring& text);

}  // namespace kes::util
