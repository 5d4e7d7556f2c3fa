#pragma once
// An old binary activity-log file (format in old_log_format.h) loaded into
// memory. Construction reads every valid record (invalid ones are logged and
// skipped); `clear` closes and deletes the file. Appending writes records in
// the same format, which nothing in the agent does any more.

#include "core/capture/ram_log.h"
#include "core/foundation/files/paths.h"

#include <string>

namespace kes {

class disk_log : public ram_log {
public:
    // Opens the file for appending (creating it when missing) and reads it.
    explicit disk_log(std::string path);

    void append(const log_entry& record) override;
    bool is_persistent() const override { return true; }
    // Closes the file, deletes it (throws boost::filesystem::filesystem_error
    // on failure) and forgets the records.
    void clear() override;

    // False when the file could not be read to its end: it did not open, or a
    // record was cut off or malformed. The records before the fault are kept.
    bool read_completely() const { return read_completely_; }
    int file_version() const { return file_version_; }
    const std::string& path() const { return path_; }

private:
    void load();
    int determine_file_version();

    std::string path_;
    int file_version_ = -1;
    filesystem::ofstream output_;
    bool read_completely_ = false;
};

}  // namespace kes
