#include "platform/linux/small_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

std::optional<std::string> read_small_regular_file(const std::string& path, long limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= limit) {
        // Room for what the file holds now and one byte more, to see it end;
        // more only when it grows while it is read.
        const std::size_t most = static_cast<std::size_t>(limit) + 1;
        std::string text(std::min(static_cast<std::size_t>(info.st_size) + 1, most), '\0');
        std::size_t used = 0;
        bool failed = false;
        while (true) {
            if (used == text.size()) {
                if (text.size() == most) break;
                text.resize(std::min(text.size() * 2, most));
            }
            const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) failed = true;
            if (got <= 0) break;
            used += static_cast<std::size_t>(got);
        }
        if (!failed && used <= static_cast<std::size_t>(limit)) {
            text.resize(used);
            result = std::move(text);
        }
    }
    ::close(fd);
    return result;
}

namespace {

bool write_all(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace

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
    bool written = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && write_all(fd, bytes) && ::fsync(fd) == 0;
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
