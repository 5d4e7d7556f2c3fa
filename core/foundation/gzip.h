#pragma once
// gzip compression of a byte buffer held in memory (level 9, one gzip member).

#include <string_view>
#include <vector>

namespace kes::util {

// Compresses every byte of `text` (NULs included). On entry `buffer.size()` is
// the room offered; on success the buffer is cut to the compressed length and
// the result is true. When the output does not fit, or zlib fails, the failure
// is logged and the result is false: the caller then stores the text plain.
bool compress_string_gzip(std::string_view text, std::vector<unsigned char>& buffer);

}  // namespace kes::util
