#pragma once
// The debug log's lines as (level, message), for the UI tests that check
// what was logged.

#include "core/foundation/debug_log.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kes::testing {

struct log_line {
    std::uint32_t level;
    std::wstring message;
    bool operator==(const log_line& other) const { return level == other.level && message == other.message; }
};

// Lines written after the log held `offset` characters.
inline std::vector<log_line> log_lines_since(std::size_t offset) {
    const std::wstring text = debug_log_read();
    std::wistringstream in(offset <= text.size() ? text.substr(offset) : std::wstring());
    std::vector<log_line> lines;
    for (std::wstring raw; std::getline(in, raw);) {
        // YYYYMMDDTHHMMSS:level:message
        const std::size_t first = raw.find(L':');
        const std::size_t second = first == std::wstring::npos ? first : raw.find(L':', first + 1);
        if (first != 15 || second == std::wstring::npos) continue;
        lines.push_back({static_cast<std::uint32_t>(std::stoul(raw.substr(first + 1, second - first - 1))),
                         raw.substr(second + 1)});
    }
    return lines;
}

inline std::vector<std::wstring> messages_since(std::size_t offset) {
    std::vector<std::wstring> messages;
    for (const log_line& line : log_lines_since(offset)) messages.push_back(line.message);
    return messages;
}

inline std::size_t log_size() { return debug_log_read().size(); }

}  // namespace kes::testing
