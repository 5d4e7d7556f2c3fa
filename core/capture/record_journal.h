#pragma once
// Completed records kept on disk until they reach an upload file, so that a
// crash or a kill between two flushes loses none, and none is uploaded twice.
//
// The journal folder holds numbered segments "<n>.journal". Each recorded
// row is appended to the open segment as one write (no sync: what a write
// handed to the kernel survives the process; only a power cut can take the
// last seconds). A flush seals the open segment and opens the next, so the
// records it takes from memory are exactly those of the sealed segments.
// Once its upload file is staged, `commit` writes the marker
// "<uuid><extension>.flushed" naming the last segment the file holds; the
// file is then published and `discard` removes those segments and the
// marker. The marker is the commit point: a start that finds one publishes
// its staged file if a crash left it staged, and drops its segments, so the
// rows are neither lost nor written twice.
//
// A line is the CRC-32 of its text in 8 hexadecimal digits, a blank, the row
// with backslash, line feed and carriage return escaped, and a line feed. A
// torn last line (or any damaged one) fails its check and is skipped; a
// segment this journal did not write last that does not end with a line feed
// gets one before the next line, and a whole line found at the end of a
// damaged one is read, so the damage costs no more than itself.
//
// `append` and `seal` run under the caller's recording lock, `commit` and
// `discard` under its flush lock (one flush at a time); they share no state.

#include "core/capture/upload_folder.h"
#include "core/foundation/files/descriptor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

class record_journal {
public:
    // What an earlier run left, read once at start by `recover`.
    struct leftovers {
        std::vector<staged_upload> committed;  // staged files of flushes a crash interrupted
        std::uint64_t committed_through = 0;   // the last segment those files hold
        std::string rows;                      // rows no upload file holds, oldest first
        std::uint64_t rows_through = 0;        // the last segment those rows come from
        std::size_t damaged_lines = 0;
    };

    explicit record_journal(std::string folder);
    ~record_journal();
    record_journal(const record_journal&) = delete;
    record_journal& operator=(const record_journal&) = delete;

    // Reads the folder; drops nothing yet. Numbers new segments after every
    // one seen, so a later commit can never name a segment it does not hold.
    leftovers recover();
    // After the committed files of `recover` were published: removes their
    // segments, and the markers of all but those still staged (which the
    // next start publishes).
    void drop_committed(const leftovers& found, const std::vector<staged_upload>& still_staged);
    // Removes the segments up to `through` (after `recover`, those that held no row).
    void drop_segments_through(std::uint64_t through);
    // Opens the first segment of this run; false (and logged) when the
    // journal cannot be written, and the agent records without it.
    bool open();

    // One row (UTF-8, as in an upload file) to the open segment; false when
    // it is not in the journal (no journal, or the write failed).
    bool append(std::string_view row);
    // Closes the open segment and opens the next; answers the last segment
    // whose rows are now all in memory's batch.
    std::uint64_t seal();

    // Records that the staged upload holds every row of the segments up to
    // `through`. False (logged) when the marker could not be written.
    bool commit(std::uint64_t through, const staged_upload& upload);
    // After the upload was published: removes the segments up to `through`
    // and the upload's marker.
    void discard(std::uint64_t through, const staged_upload& upload);

    const std::string& folder() const { return folder_; }

private:
    std::string segment_path(std::uint64_t number) const;
    std::string marker_path(const staged_upload& upload) const;
    void open_segment(std::uint64_t number);
    void remove_segments_through(std::uint64_t through);

    const std::string folder_;
    bool enabled_ = false;  // the folder was readable at start
    // Recording side.
    std::unique_ptr<fs::unique_fd> segment_;
    std::uint64_t open_number_ = 0;
    bool failing_ = false;  // the last write failed; logged once per failure run
    // The open segment ends with this journal's last line, written whole, so
    // the next need not read the segment's end first (a system call per
    // record, and a read rewrites the access time). False after opening and
    // after a failed write.
    bool ends_with_own_line_ = false;
};

// The line a row becomes in a segment, and the rows of a segment's text
// (lines that fail their check are counted in `damaged`).
std::string journal_line(std::string_view row);
std::string journal_rows(std::string_view segment_text, std::size_t& damaged);

}  // namespace kes
