#include "core/foundation/files/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace kes::fs {
namespace {

bool is_regular(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Whether the name holds something other than a regular file; a missing
// name (or one that cannot be looked at) is left to open().
bool holds_other_than_a_file(const std::string& path, bool follow) {
    struct stat info {};
    const int looked = follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    return looked == 0 && !S_ISREG(info.st_mode) && !(!follow && S_ISLNK(info.st_mode));
}

}  // namespace

std::string opened_file::describe() const { return error == 0 ? "not a regular file" : std::strerror(error); }

opened_file open_regular_file(const std::string& path, int flags, unsigned mode) {
    opened_file opened;
    // Looked at first, so that a pipe's reader never sees us come and go;
    // checked again after the open, which the look cannot make safe alone.
    if (holds_other_than_a_file(path, (flags & O_NOFOLLOW) == 0)) return opened;
    unique_fd fd(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, static_cast<mode_t>(mode)));
    if (fd.get() < 0) {
        // A pipe without a reader refuses a writer that will not wait.
        opened.error = errno == ENXIO ? 0 : errno;
        return opened;
    }
    if (!is_regular(fd.get())) return opened;
    opened.fd = std::move(fd);
    return opened;
}

}  // namespace kes::fs
