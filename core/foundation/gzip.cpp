#include "core/foundation/gzip.h"

#include "core/foundation/debug_log.h"

#include <zlib.h>

#include <limits>

namespace kes::util {

bool compress_string_gzip(std::string_view text, unsigned char* buffer, std::size_t& length) {
    // zlib counts in 32-bit units; a batch that large is stored plain.
    constexpr auto max_chunk = std::numeric_limits<uInt>::max();
    if (text.size() > max_chunk || length > max_chunk) return false;

    z_stream stream{};
    constexpr int gzip_window_bits = 31;  // 32 KiB window, gzip header and trailer
    const int init = deflateInit2(&stream, 9, Z_DEFLATED, gzip_window_bits, 8, Z_DEFAULT_STRATEGY);
    if (init != Z_OK) {
        log(L"[util:compress_string_gzip] failed to deflateInit: " + std::to_wstring(init), log_level::error);
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = buffer;
    stream.avail_out = static_cast<uInt>(length);
    const int result = deflate(&stream, Z_FINISH);
    if (result != Z_STREAM_END) {
        log(L"[util:compress_string_gzip] failed to deflate until end: " + std::to_wstring(result),
            log_level::error);
        deflateEnd(&stream);
        return false;
    }
    const auto written = stream.total_out;
    if (deflateEnd(&stream) != Z_OK) return false;
    length = written;
    return true;
}

}  // namespace kes::util
