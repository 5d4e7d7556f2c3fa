#include "core/foundation/files/private_files.h"

#include <boost/filesystem/exception.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kes::fs {
namespace {

bool is_directory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes each missing component, parents first; on failure names the
// component and the error. A component that exists but is no folder fails
// here only when `folders_only`; otherwise the next one fails under it.
bool make_each_folder(const std::string& path, bool folders_only, std::string& failed, int& error) {
    if (path.empty()) {
        failed = path;
        error = ENOENT;
        return false;
    }
    if (is_directory(path)) return true;  // the usual case, in one look
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!part.empty() && part.back() != '/' && !is_directory(part)) {
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                failed = part;
                error = errno;
                return false;
            }
            if (folders_only && !is_directory(part)) {
                failed = part;
                error = ENOTDIR;
                return false;
            }
        }
        if (at == std::string::npos) return true;
    }
}

}  // namespace

bool make_folders(const std::string& path) {
    std::string failed;
    int error = 0;
    return make_each_folder(path, true, failed, error);
}

void create_private_directories(const std::string& path) {
    if (path.empty()) return;
    std::string failed;
    int error = 0;
    if (!make_each_folder(path, false, failed, error)) {
        throw boost::filesystem::filesystem_error("cannot create folder", boost::filesystem::path(failed),
                                                  boost::system::error_code(error, boost::system::generic_category()));
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
