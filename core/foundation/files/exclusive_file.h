#pragma once
// Writing a file that must appear whole or not at all, and never over another
// file: the bytes go to a temporary name created exclusively (mode 0600), are
// synced, and the file is then renamed to its final name only when that name
// is still free. Readers watching the folder never see a partial file.
//
// The two steps can also be taken apart, so that a caller can record, between
// them, that the staged file stands for some work (and publish it after a
// crash): a staged file is complete and durable, but not yet visible.

#include <string>
#include <string_view>

namespace kes::fs {

enum class exclusive_write_result {
    written,     // the final file is in place
    name_taken,  // the temporary or final name exists; nothing was changed
    failed,      // disk full, no permission, ...: nothing is left behind
};

struct exclusive_write_outcome {
    exclusive_write_result result;
    std::string error;  // what failed, for the log
};

exclusive_write_outcome write_file_exclusively(const std::string& temporary_path, const std::string& final_path,
                                               std::string_view bytes);

// Step one: creates `temporary_path` exclusively, writes and syncs the bytes.
// On failure nothing is left behind.
exclusive_write_outcome stage_file(const std::string& temporary_path, std::string_view bytes);

// Step two: renames a staged file to `final_path` unless that name exists
// (then the staged file stays), and makes the rename durable.
exclusive_write_outcome publish_staged_file(const std::string& temporary_path, const std::string& final_path);

}  // namespace kes::fs
