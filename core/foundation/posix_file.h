#pragma once
// The few POSIX file steps that durable writes share: an owned descriptor,
// writing every byte, and syncing the folder that holds a renamed file; and
// the one way every small file is read back.

#include <cstddef>
#include <string>
#include <string_view>

namespace kes::fs {

class unique_fd {
public:
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd();
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;

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

// Makes a rename inside the folder of `path` durable.
void sync_folder_of(const std::string& path);

enum class read_result {
    read,         // `bytes` holds the whole file
    missing,      // nothing by that name (or a folder on the way is missing)
    not_regular,  // a folder, pipe, device or socket: reading one could block or never end
    too_large,    // more than the limit
    failed,       // it is there but could not be opened or read (`error` says why)
};

struct file_contents {
    read_result result = read_result::failed;
    std::string bytes;
    int error = 0;          // errno, for missing and failed
    std::size_t limit = 0;  // the limit asked for
    bool is_read() const { return result == read_result::read; }
    // Something is there but was not read: worth a log line where absence is normal.
    bool is_unreadable() const { return result != read_result::read && result != read_result::missing; }
    // Why the file was not read, for the log ("not a regular file", ...).
    std::string describe() const;
};

// Reads a whole regular file of at most `limit` bytes, following links.
// Opening never blocks (a pipe is refused, not waited on) and nothing past
// the limit is read, even from a file that grows meanwhile. Never throws
// but for memory.
file_contents read_regular_file(const std::string& path, std::size_t limit);

}  // namespace kes::fs
