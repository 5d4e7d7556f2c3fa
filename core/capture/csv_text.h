#pragma once
// The upload text of a batch of records, written straight into UTF-8: the
// same bytes as the UTF-8 form of the log's CSV text (log_entry::to_csv_row
// for each record, first to last), built in one buffer that is sized once,
// with no text per field on the way.

#include "core/capture/activity_log.h"

#include <optional>
#include <string>

namespace kes {

// nullopt when a record holds a character that is not a Unicode scalar value
// (such text has no UTF-8 form; the caller decides what to write instead).
std::optional<std::string> csv_utf8(const activity_log& records);
// One record's row, the same bytes it has in csv_utf8.
std::optional<std::string> csv_row_utf8(const log_entry& record);
// That row, or for such text its UTF-8 form with replacement characters.
std::string csv_row_utf8_lossy(const log_entry& record);

}  // namespace kes
