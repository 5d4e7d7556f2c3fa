#pragma once
// The one way every small file is read back: whole, bounded, and without
// blocking on whatever a user may have put in its place.

#include <cstddef>
#include <optional>
#include <string>

namespace kes::fs {

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

// The same where only the bytes matter: nullopt for anything not read.
std::optional<std::string> read_small_regular_file(const std::string& path, std::size_t limit);

}  // namespace kes::fs
