#include "core/foundation/files/replace_file.h"

#include "core/foundation/files/descriptor.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kes::fs {
namespace {

std::string describe(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// Gives the open temporary its mode and content, makes them durable and
// renames it over `path`; on failure the temporary is removed.
bool complete_replacement(unique_fd& fd, const std::string& temporary, const std::string& path, mode_t mode,
                          std::string_view bytes, std::string& error) {
    if (::fchmod(fd.get(), mode) != 0) {
        error = describe("fchmod");
    } else if (!write_all(fd.get(), bytes)) {
        error = describe("write");
    } else if (::fsync(fd.get()) != 0) {
        error = describe("fsync");
    } else if (!fd.close()) {
        error = describe("close");
    } else if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = describe("rename");
    } else {
        // Make the rename itself durable; the content is already in place.
        sync_folder_of(path);
        return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

bool replace_file_atomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::string temporary = path + ".tmp";
    // O_NOFOLLOW: a planted symbolic link must not redirect the write.
    unique_fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
        error = describe("open");
        ::unlink(temporary.c_str());
        return false;
    }
    return complete_replacement(fd, temporary, path, 0600, bytes, error);
}

bool replace_small_file(const std::string& path, std::string_view bytes, unsigned mode) {
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder_of(path) + "/." + name + "-XXXXXX";
    unique_fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    std::string ignored;
    return complete_replacement(fd, temporary, path, static_cast<mode_t>(mode), bytes, ignored);
}

}  // namespace kes::fs
