#pragma once
// The one writer of a record's upload row: twelve quoted columns (application,
// version, hash, window title, extended info, start, end, entry type and four
// empty ones), each quote inside a column doubled, joined by "," and ended by
// a line feed. A NUL in a text is written as a space: many CSV readers
// refuse the byte. A completed record is rendered once, as UTF-8, and that
// row is what the validity check, the scanner's log line, the journal and the
// upload file all use; the wide form exists for the record's own `to_csv_row`.

#include "core/capture/activity_log.h"

#include <optional>
#include <string>

namespace kes {

// nullopt when a column holds a character that is not a Unicode scalar value
// (such text has no UTF-8 form; the caller decides what to write instead).
std::optional<std::string> csv_row_utf8(const log_entry& record);
// That row, or for such text its UTF-8 form with replacement characters.
std::string csv_row_utf8_lossy(const log_entry& record);
// The same row as wide text, such characters included.
std::wstring csv_row_wide(const log_entry& record);

// The rows of every record, first to last; nullopt as for one row.
std::optional<std::string> csv_utf8(const activity_log& records);

// A row as the message of a debug-log line: its control characters escaped
// (util::escape_control_characters) but for the line feed that ends it, so a
// title or page address cannot end the line and forge the next.
std::wstring loggable_row(std::wstring_view row);

// The check a completed record passes before it is kept, with its log lines:
// its row when it has a UTF-8 form, nullopt (logged as an invalid entry) when not.
std::optional<std::string> valid_csv_row(const log_entry& record);

}  // namespace kes
