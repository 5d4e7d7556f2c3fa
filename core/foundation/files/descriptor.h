#pragma once
// The POSIX steps that durable writes share: an owned descriptor, writing
// every byte, and syncing the folder that holds a renamed file.

#include <string>
#include <string_view>

namespace kes::fs {

class unique_fd {
public:
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd();
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    unique_fd& operator=(unique_fd&& other) noexcept;

    int get() const { return fd_; }
    // Closing can report a failed write-back on some file systems, so it is checked.
    bool close();

private:
    int fd_;
};

// Writes all bytes, resuming after interruptions; false on the first error (errno set).
bool write_all(int fd, std::string_view bytes);

// Whether the file's last byte is something other than a line feed: a write
// that failed or was cut off (or another writer) left a line unfinished, and
// a line appended now would be joined to it.
bool ends_inside_a_line(int fd);

// The folder part of a path ("." without a slash, "/" for a file at the root).
std::string folder_of(const std::string& path);

// Makes a rename or a removal inside `folder` survive a crash. Best effort:
// the change itself is already made when this is called.
void sync_folder(const std::string& folder);
// The same for the folder that holds `path`.
void sync_folder_of(const std::string& path);

}  // namespace kes::fs
