#pragma once
// The record format of the old binary activity-log files (".log" in the log
// folder), which earlier versions wrote and this one only converts:
//   optional header: binary string "version" followed by one ASCII digit;
//   records: application name, completed (time text), computer name,
//   extended info, OS user, process name, process hash, process version,
//   started (time text), window title, and from version 2 on the entry type
//   and four reserved strings.
// Strings are in the binary form of core/foundation/binary_string.h; a time
// text is "2013-Jan-05 14:03:22" (whole seconds) or a special value
// ("not-a-date-time", "+infinity", "-infinity"), with no length or delimiter.

#include "core/capture/log_entry.h"

#include <istream>
#include <ostream>
#include <string>

namespace kes::old_log {

inline constexpr int current_version = 2;

// Reads the header at the start of the stream. Only one version digit was
// ever written, so exactly one is read: a record that follows may well start
// with a byte that looks like a digit. Without a header the stream is put
// back at its start and the answer is 1.
int read_file_version(std::istream& in);
void write_file_header(std::ostream& out, int version);

// False when the stream ends inside the record or a field is malformed;
// `record` then holds a mix of old and new fields and must be dropped.
bool read_record(std::istream& in, int version, log_entry& record);
void write_record(std::ostream& out, int version, const log_entry& record);

std::string time_text(const boost::posix_time::ptime& value);
bool read_time_text(std::istream& in, boost::posix_time::ptime& value);

}  // namespace kes::old_log
