#include "core/foundation/private_files.h"

#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kes::fs {

void create_private_directories(const std::string& path) {
    namespace bfs = boost::filesystem;
    const bfs::path target(path);
    if (target.empty() || bfs::is_directory(target)) return;
    create_private_directories(target.parent_path().string());
    if (::mkdir(target.c_str(), 0700) != 0 && errno != EEXIST) {
        throw bfs::filesystem_error("cannot create folder", target,
                                    boost::system::error_code(errno, boost::system::generic_category()));
    }
}

bool tighten_private_directory(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return true;
    if ((info.st_mode & 077) == 0) return true;
    if (info.st_uid != ::geteuid()) return false;
    return ::chmod(path.c_str(), 0700) == 0;
}

bool ensure_private_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace kes::fs
