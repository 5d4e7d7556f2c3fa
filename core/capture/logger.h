#pragma once
// The process-wide activity logger: completed records in memory, written as
// upload files in the activities folder.

#include "core/foundation/noncopyable.h"

namespace kes {

class logger : public noncopyable {
public:
    static logger& get_instance();

    // Writes every record held in memory to one upload file.
    void write_current_log_to_disk();

private:
    logger() = default;
};

}  // namespace kes
