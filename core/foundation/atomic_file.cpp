#include "core/foundation/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kes::fs {
namespace {

class file_descriptor {
public:
    explicit file_descriptor(int fd) : fd_(fd) {}
    ~file_descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    file_descriptor(const file_descriptor&) = delete;
    file_descriptor& operator=(const file_descriptor&) = delete;
    int get() const { return fd_; }
    // Closing can report a failed write-back, so it is checked.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string describe(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

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

std::string parent_folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool write_temporary(const std::string& temporary, std::string_view bytes, std::string& error) {
    // O_NOFOLLOW: a planted symbolic link must not redirect the write.
    file_descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
        error = describe("open");
        return false;
    }
    if (::fchmod(fd.get(), 0600) != 0) {
        error = describe("fchmod");
        return false;
    }
    if (!write_all(fd.get(), bytes)) {
        error = describe("write");
        return false;
    }
    if (::fsync(fd.get()) != 0) {
        error = describe("fsync");
        return false;
    }
    if (!fd.close()) {
        error = describe("close");
        return false;
    }
    return true;
}

}  // namespace

bool replace_file_atomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::string temporary = path + ".tmp";
    if (!write_temporary(temporary, bytes, error) || ::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error.empty()) error = describe("rename");
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; the content is already in place.
    file_descriptor folder(::open(parent_folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return true;
}

}  // namespace kes::fs
