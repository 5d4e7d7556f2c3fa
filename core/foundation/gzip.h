#pragma once
// gzip compression of a byte buffer held in memory (level 9, one gzip member).

#include <cstddef>
#include <string_view>

namespace kes::util {

// Compresses every byte of `text` (NULs included) into `buffer`, which offers
// `length` bytes on entry; on success `length` is the compressed size and the
// result is true. Only the bytes written are touched, so the room need not be
// initialised. When the output does not fit, or zlib fails, the failure is
// logged and the result is false: the caller then stores the text plain.
bool compress_string_gzip(std::string_view text, unsigned char* buffer, std::size_t& length);

}  // namespace kes::util
