#include "core/foundation/exclusive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kes::fs {
namespace {

class unique_fd {
public:
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;

    int get() const { return fd_; }
    // Closing reports the last write errors of some file systems.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string describe(const char* step, const std::string& path, int error) {
    return std::string(step) + " " + path + ": " + std::strerror(error);
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

// rename() would replace an existing file; this refuses instead.
int rename_no_replace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without the flag: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

void sync_folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    unique_fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

exclusive_write_outcome write_file_exclusively(const std::string& temporary_path, const std::string& final_path,
                                               std::string_view bytes) {
    unique_fd fd(::open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        const int error = errno;
        return {error == EEXIST ? exclusive_write_result::name_taken : exclusive_write_result::failed,
                describe("cannot create", temporary_path, error)};
    }
    ::fchmod(fd.get(), 0600);  // whatever the umask
    const bool written = write_all(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    const int write_error = errno;
    if (!fd.close() || !written) {
        const int error = written ? errno : write_error;
        ::unlink(temporary_path.c_str());
        return {exclusive_write_result::failed, describe("cannot write", temporary_path, error)};
    }
    const int rename_error = rename_no_replace(temporary_path, final_path);
    if (rename_error != 0) {
        ::unlink(temporary_path.c_str());
        return {rename_error == EEXIST ? exclusive_write_result::name_taken : exclusive_write_result::failed,
                describe("cannot rename to", final_path, rename_error)};
    }
    sync_folder_of(final_path);
    return {exclusive_write_result::written, {}};
}

}  // namespace kes::fs
