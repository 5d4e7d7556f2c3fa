#pragma once
// The process-wide debug log: "log/debug_log.txt" in the data folder, one
// "YYYYMMDDTHHMMSS:level:message" line per call, kept only when the level
// shares a bit with the `debug_log_level` mask. Never throws; lines that
// cannot be written are dropped. The log is never destroyed, so threads still
// running at exit can log safely.

#include "core/foundation/log_level.h"

#include <cstddef>
#include <cstdint>
#include <string>

typedef void CURL;

namespace kes {

class debug_log;

void log(const std::wstring& message, std::uint32_t level);
// A fixed text: nothing is built for a line that is not kept.
void log(const wchar_t* message, std::uint32_t level);
// Whether a line of `level` would be kept: lets a caller skip building a
// costly message that nobody would read.
bool log_enabled(std::uint32_t level);

debug_log& debug_log_instance();
void debug_log_write_line(debug_log& target, const std::wstring& message, std::uint32_t level);
void debug_log_reopen();
std::wstring debug_log_read();

// libcurl's CURLOPT_DEBUGFUNCTION: informational text goes to the log at the
// network level; headers and data are ignored. Always returns 0.
int curl_debug_callback(CURL* handle, int type, char* data, std::size_t size, void* user);

}  // namespace kes
