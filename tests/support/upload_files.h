#pragma once
// Reading back what the agent wrote: gzip members and upload-file folders.

#include <string>
#include <vector>

namespace kes::testing {

// Decompresses one whole gzip member; throws std::runtime_error when the data
// is not a complete, intact member.
std::string gunzip(const std::string& compressed);

// Names (not paths) of the folder's entries, sorted.
std::vector<std::string> folder_names(const std::string& folder);

// The text of an upload file: gunzipped for ".kesg", as stored for ".kesc".
std::string upload_text(const std::string& path);

// Splits text after each line feed, keeping it (for rows without line feeds in their texts).
std::vector<std::string> lines_of(const std::string& text);

}  // namespace kes::testing
