#pragma once
// Reading a small file that may lie anywhere a user put it.

#include <optional>
#include <string>

namespace platform {

// The whole file, when it is a regular file of at most `limit` bytes; nullopt
// otherwise. Opening does not block on a pipe, and reading never goes past the
// limit, even when the file grows meanwhile.
std::optional<std::string> read_small_regular_file(const std::string& path, long limit);

}  // namespace platform
