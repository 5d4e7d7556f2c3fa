#include "tests/support/upload_files.h"

#include "tests/support/test_environment.h"

#include <zlib.h>

#include <algorithm>
#include <dirent.h>
#include <stdexcept>

namespace kes::testing {

std::string gunzip(const std::string& compressed) {
    z_stream stream{};
    if (inflateInit2(&stream, 31) != Z_OK) throw std::runtime_error("inflateInit2 failed");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    char chunk[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_in == 0) break;
    }
    const bool trailing = stream.avail_in != 0;
    inflateEnd(&stream);
    if (result != Z_STREAM_END || trailing) throw std::runtime_error("not one complete gzip member");
    return out;
}

std::vector<std::string> folder_names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string upload_text(const std::string& path) {
    const std::string bytes = read_file(path);
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".kesg") == 0) return gunzip(bytes);
    return bytes;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return lines;
}

}  // namespace kes::testing
