#include "platform/linux/small_file.h"

#include "core/foundation/posix_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> read_small_regular_file(const std::string& path, long limit) {
    if (limit < 0) return std::nullopt;
    kes::fs::file_contents found = kes::fs::read_regular_file(path, static_cast<std::size_t>(limit));
    if (!found.is_read()) return std::nullopt;
    return std::move(found.bytes);
}

void sync_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

bool replace_small_file(const std::string& path, const std::string& bytes, unsigned mode) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // No ending of its own, so nothing that lists the folder takes it for one of its files.
    std::string temporary = folder + "/." + name + "-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool written = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && kes::fs::write_all(fd, bytes) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    sync_folder(folder);
    return true;
}

}  // namespace platform

namespace platform {
namespace {

bool is_directory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool make_folders(const std::string& folder) {
    if (folder.empty()) return false;
    for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? folder : folder.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (!part.empty() && !is_directory(part)) return false;
        if (at == std::string::npos) return true;
    }
}

}  // namespace platform
