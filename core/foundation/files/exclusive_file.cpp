#include "core/foundation/files/exclusive_file.h"

#include "core/foundation/files/descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kes::fs {
namespace {

std::string describe(const char* step, const std::string& path, int error) {
    return std::string(step) + " " + path + ": " + std::strerror(error);
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

}  // namespace

exclusive_write_outcome stage_file(const std::string& temporary_path, std::string_view bytes) {
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
    return {exclusive_write_result::written, {}};
}

exclusive_write_outcome publish_staged_file(const std::string& temporary_path, const std::string& final_path) {
    const int rename_error = rename_no_replace(temporary_path, final_path);
    if (rename_error != 0) {
        return {rename_error == EEXIST ? exclusive_write_result::name_taken : exclusive_write_result::failed,
                describe("cannot rename to", final_path, rename_error)};
    }
    sync_folder_of(final_path);
    return {exclusive_write_result::written, {}};
}

exclusive_write_outcome write_file_exclusively(const std::string& temporary_path, const std::string& final_path,
                                               std::string_view bytes) {
    exclusive_write_outcome staged = stage_file(temporary_path, bytes);
    if (staged.result != exclusive_write_result::written) return staged;
    exclusive_write_outcome published = publish_staged_file(temporary_path, final_path);
    if (published.result != exclusive_write_result::written) ::unlink(temporary_path.c_str());
    return published;
}

}  // namespace kes::fs
