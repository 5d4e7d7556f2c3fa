#pragma once
// Old binary activity logs ("<name>.log" in the log folder) become upload
// files record by record: at most 10,000 records, and a few MiB of text, per
// file, so a log of any size needs little memory. For each upload file the
// logger stages the file, the progress file "<name>.log.progress" then
// records how far the log is converted and which staged file holds the
// records before that point (the commit), and the file is published. A
// conversion that is stopped or cut off by a crash goes on at the next start
// from the recorded point: no record is converted twice and none is lost.
// A converted log is deleted; one that cannot be read to its end is kept as
// "<name>.log.unreadable" once its readable records are converted.

#include "core/capture/upload_folder.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kes {

class logger;

class old_log_converter {
public:
    static constexpr std::uint32_t records_per_file = 10000;
    static constexpr std::size_t text_bytes_per_file = 8 * 1024 * 1024;

    old_log_converter(std::string folder, logger& uploads);

    // At start, before staged upload files are cleared away: publishes the
    // staged files that progress files name, so their records count as
    // converted. Answers those that could not be published (they must stay).
    std::vector<staged_upload> finish_interrupted() const;

    // Converts the old logs of the folder one after the other. Returns early,
    // leaving the rest for the next start, once `stop` is set; the stop is
    // seen between any two records.
    void convert_all(const std::atomic<bool>& stop) const;

private:
    // False when the log stays for the next start (stopped, or an upload
    // file could not be written).
    bool convert(const std::string& path, const std::atomic<bool>& stop) const;

    const std::string folder_;
    logger& uploads_;
};

}  // namespace kes
