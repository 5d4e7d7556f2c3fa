#pragma once
// Reading and replacing small files that may lie anywhere a user put them.

#include <optional>
#include <string>

namespace platform {

// The whole file, when it is a regular file of at most `limit` bytes; nullopt
// otherwise. Opening does not block on a pipe, and reading never goes past the
// limit, even when the file grows meanwhile.
std::optional<std::string> read_small_regular_file(const std::string& path, long limit);

// Replaces `path` with `bytes` (file mode `mode`): written to a hidden
// temporary beside it, flushed and renamed over it, so a reader sees the old
// file or the new one, never a part. False, with nothing changed, when any
// step fails.
bool replace_small_file(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// Creates the folder and its missing parents (mode 0700); false when a
// component is not a folder or cannot be made.
bool make_folders(const std::string& folder);

// Makes a rename or a removal inside `folder` survive a crash. Best effort:
// the change itself is already made when this is called.
void sync_folder(const std::string& folder);

}  // namespace platform
