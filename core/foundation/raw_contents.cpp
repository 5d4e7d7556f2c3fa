#include "core/foundation/raw_contents.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/text.h"

#include <limits>

namespace kes {

void LoadRawContents(const std::string& path, std::vector<char>& contents) {
    log(L"[kes::LoadRawContents]", log_level::error);
    log(L"[kes::LoadRawContents] path " + util::widen(path), log_level::error);
    contents.clear();
    // Only a regular file: a folder seeks to a size of 2^63 here, and a pipe would block.
    const fs::file_contents file = fs::read_regular_file(path, std::numeric_limits<std::size_t>::max());
    if (file.is_read()) contents.assign(file.bytes.begin(), file.bytes.end());
    log(L"[kes::LoadRawContents] contents.size " + std::to_wstring(contents.size()), log_level::error);
}

}  // namespace kes
