#include "platform/linux/small_file.h"

#include <fcntl.h>
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

}  // namespace platform
