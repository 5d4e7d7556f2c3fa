#pragma once
// Reads an old binary activity log record by record, so that a file of any
// size needs the memory of one record. A position is a byte offset at a
// record boundary, so a later reader can go on where an earlier one stopped.
// Every record read is traced, and invalid ones (text that is not Unicode)
// are logged and skipped, as the old-log loader always did.

#include "core/capture/log_entry.h"

#include <cstdint>
#include <fstream>
#include <string>

namespace kes::old_log {

class record_reader {
public:
    enum class outcome {
        record,   // the next valid record
        end,      // the file is read to its end
        damaged,  // cut off or malformed here: nothing after this point can be told from noise
    };

    // Opens the file and reads its header (version 1 when it has none).
    explicit record_reader(const std::string& path);

    bool is_open() const { return static_cast<bool>(input_); }
    // True when the file holds no byte at all, or could not be opened.
    bool is_empty() const { return empty_; }
    int version() const { return version_; }

    // The position of the next record.
    std::uint64_t position();
    // Goes to a position `position` gave; false when the file is shorter.
    bool seek(std::uint64_t position);

    // Reads records until a valid one, the end or damage.
    outcome next(log_entry& record);

private:
    std::ifstream input_;
    bool empty_ = true;
    int version_ = 1;
};

}  // namespace kes::old_log
