#pragma once
// Opening a file the agent writes by a name anyone may have put something
// else at: a pipe there would block the open, or every write once its buffer
// is full (with the lock of whoever writes held); a device or a socket would
// take what is written. Only a regular file is kept, and the open itself
// never waits.

#include "core/foundation/files/descriptor.h"

#include <string>

namespace kes::fs {

struct opened_file {
    unique_fd fd{-1};
    // errno when nothing could be opened; 0 when something that is no
    // regular file is there.
    int error = 0;

    bool is_open() const { return fd.get() >= 0; }
    // Why it is not open, for the log ("not a regular file", or the error's text).
    std::string describe() const;
};

// `flags` as for open(2), with O_NONBLOCK, O_NOCTTY and O_CLOEXEC added; a
// file it creates gets `mode`. Follows symbolic links unless `flags` holds
// O_NOFOLLOW. A name that already holds no regular file is left untouched.
opened_file open_regular_file(const std::string& path, int flags, unsigned mode = 0600);

}  // namespace kes::fs
