#include "core/foundation/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

void sync_folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    unique_fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace kes::fs
