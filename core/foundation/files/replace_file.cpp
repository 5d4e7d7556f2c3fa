#include "core/foundation/files/replace_file.h"

#include "core/foundation/files/descriptor.h"
#include "core/foundation/files/regular_file.h"

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
    // O_NOFOLLOW: a planted symbolic link must not redirect the write; nor
    // may a pipe planted there hold the save for ever. Whatever holds the
    // name goes: the next save finds it free.
    opened_file opened = open_regular_file(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW);
    if (!opened.is_open()) {
        error = "open " + temporary + ": " + opened.describe();
        ::unlink(temporary.c_str());
        return false;
    }
    return complete_replacement(opened.fd, temporary, path, 0600, bytes, error);
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
