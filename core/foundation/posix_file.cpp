#include "core/foundation/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace kes::fs {

unique_fd::~unique_fd() {
    if (fd_ >= 0) ::close(fd_);
}

bool unique_fd::close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool ends_inside_a_line(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size <= 0) return false;
    char last = '\n';
    ssize_t got = 0;
    do {
        got = ::pread(fd, &last, 1, info.st_size - 1);
    } while (got < 0 && errno == EINTR);
    return got == 1 && last != '\n';
}

void sync_folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    unique_fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

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

}  // namespace kes::fs
