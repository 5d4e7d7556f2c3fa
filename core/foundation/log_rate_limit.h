#pragma once
// A bound on the debug-log lines that a peer can cause at its own pace (one a
// message, a connection, a datagram), so nobody outside the agent can fill the
// log and push its earlier lines out.
//
// Each line names its site: a fixed text for the place it comes from, also the
// head of the line. A site writes at most `lines_per_window` lines in one
// window; later lines of that window are only counted. Once the window is over,
// the next line through the limit (of any site) first writes
// "<site>: N more suppressed" for every site that held some back, at the
// levels they had. Lines the log would not keep are neither built nor counted.

#include "core/foundation/noncopyable.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

class log_rate_limit : public noncopyable {
public:
    using clock = std::chrono::steady_clock;
    static constexpr std::size_t default_lines_per_window = 20;
    static constexpr std::chrono::seconds default_window{60};

    explicit log_rate_limit(std::size_t lines_per_window = default_lines_per_window,
                            clock::duration window = default_window,
                            std::function<clock::time_point()> now = clock::now);

    // Whether a line of `site` at `level` is to be written now; counts it
    // either way. For lines that cost something to build.
    bool admits(std::wstring_view site, std::uint32_t level);

    // The line `site` + ": " + `detail`, if admitted.
    void log(std::wstring_view site, const std::wstring& detail, std::uint32_t level);
    // The line `site` alone, if admitted.
    void log(std::wstring_view site, std::uint32_t level);

    // Writes the count of every site that held lines back, window over or not.
    void flush();

private:
    struct site_state {
        std::wstring site;
        clock::time_point window_start;
        std::size_t written = 0;
        std::size_t suppressed = 0;
        std::uint32_t suppressed_levels = 0;
    };
    struct owed_line {
        std::wstring message;
        std::uint32_t level;
    };

    site_state& state_of(std::wstring_view site, clock::time_point now);
    // Takes the counts of the sites whose window ended before `now` (every
    // site when `all`), under the mutex; they are written after it is let go.
    std::vector<owed_line> take_owed(clock::time_point now, bool all);
    static void write(const std::vector<owed_line>& lines);

    const std::size_t lines_per_window_;
    const clock::duration window_;
    const std::function<clock::time_point()> now_;
    std::mutex mutex_;
    std::vector<site_state> sites_;
};

}  // namespace kes
