#pragma once
// Replaces a file so that a crash or a kill at any moment leaves either the
// old or the new content, never a mix: the bytes go to "<path>.tmp" (mode
// 0600), are flushed to disk, and the temporary is renamed over the target.
// Callers serialise writers of the same path.

#include <string>
#include <string_view>

namespace kes::fs {

// True when the new content is in place. On failure the old file is left as
// it was, the temporary is removed and `error` says why.
bool replace_file_atomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace kes::fs
