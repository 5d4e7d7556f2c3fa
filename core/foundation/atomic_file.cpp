#include "core/foundation/atomic_file.h"

#include "core/foundation/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kes::fs {
namespace {

std::string describe(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

bool write_temporary(const std::string& temporary, std::string_view bytes, std::string& error) {
    // O_NOFOLLOW: a planted symbolic link must not redirect the write.
    unique_fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
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
    sync_folder_of(path);
    return true;
}

}  // namespace kes::fs
