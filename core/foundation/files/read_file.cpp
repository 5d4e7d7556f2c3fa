#include "core/foundation/files/read_file.h"

#include "core/foundation/files/descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace kes::fs {

std::string file_contents::describe() const {
    switch (result) {
        case read_result::read: return "read";
        case read_result::not_regular: return "not a regular file";
        case read_result::too_large: return "larger than " + std::to_string(limit) + " bytes";
        case read_result::missing:
        case read_result::failed: break;
    }
    return std::strerror(error);
}

file_contents read_regular_file(const std::string& path, std::size_t limit) {
    file_contents found;
    found.limit = limit;
    const auto fail = [&found](read_result result) {
        found.result = result;
        found.error = errno;
        found.bytes.clear();
        return std::move(found);
    };
    // Without O_NONBLOCK, opening a pipe waits for a writer that may never come.
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return fail(errno == ENOENT || errno == ENOTDIR ? read_result::missing : read_result::failed);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return fail(read_result::failed);
    if (!S_ISREG(info.st_mode)) return fail(read_result::not_regular);
    if (static_cast<unsigned long long>(info.st_size) > limit) return fail(read_result::too_large);
    // Room for what the file holds now and one byte more, to see it end;
    // more only when it grows while it is read.
    const std::size_t most = limit == std::numeric_limits<std::size_t>::max() ? limit : limit + 1;
    found.bytes.resize(std::min(static_cast<std::size_t>(info.st_size) + 1, most));
    std::size_t used = 0;
    while (true) {
        if (used == found.bytes.size()) {
            if (found.bytes.size() == most) break;
            found.bytes.resize(std::min(found.bytes.size() * 2, most));
        }
        const ssize_t got = ::read(fd.get(), found.bytes.data() + used, found.bytes.size() - used);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(read_result::failed);
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    if (used > limit) return fail(read_result::too_large);
    found.bytes.resize(used);
    found.result = read_result::read;
    return found;
}

std::optional<std::string> read_small_regular_file(const std::string& path, std::size_t limit) {
    file_contents found = read_regular_file(path, limit);
    if (!found.is_read()) return std::nullopt;
    return std::move(found.bytes);
}

}  // namespace kes::fs
