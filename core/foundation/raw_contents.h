#pragma once
// Reading a whole file into memory with the debug log's trace of it.

#include <string>
#include <vector>

namespace kes {

// Fills `contents` with the file's bytes; a file that cannot be read leaves it empty.
void LoadRawContents(const std::string& path, std::vector<char>& contents);

}  // namespace kes
