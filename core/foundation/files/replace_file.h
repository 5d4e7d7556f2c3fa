#pragma once
// Replacing a file so that a crash or a kill at any moment leaves either the
// old or the new content, never a mix: the bytes go to a temporary beside
// the target, are flushed to disk, and the temporary is renamed over it.

#include <string>
#include <string_view>

namespace kes::fs {

// For files of the agent's own folders: the temporary is "<path>.tmp"
// (mode 0600, a planted link there is refused), so a start can tell and
// remove one that a crash left. Callers serialise writers of the same path.
// True when the new content is in place. On failure the old file is left as
// it was, the temporary is removed and `error` says why.
bool replace_file_atomically(const std::string& path, std::string_view bytes, std::string& error);

// For files that lie where a user or another program keeps theirs: the
// temporary gets a fresh hidden name with no ending of its own, so nothing
// that lists the folder takes it for one of its files, and the new file has
// mode `mode`. False, with nothing changed, when any step fails.
bool replace_small_file(const std::string& path, std::string_view bytes, unsigned mode = 0600);

}  // namespace kes::fs
