#include "core/foundation/log_rate_limit.h"

#include "core/foundation/debug_log.h"

#include <algorithm>

namespace kes {

log_rate_limit::log_rate_limit(std::size_t lines_per_window, clock::duration window,
                               std::function<clock::time_point()> now)
    : lines_per_window_(lines_per_window), window_(window), now_(std::move(now)) {}

log_rate_limit::site_state& log_rate_limit::state_of(std::wstring_view site, clock::time_point now) {
    const auto found =
        std::find_if(sites_.begin(), sites_.end(), [&](const site_state& known) { return known.site == site; });
    if (found != sites_.end()) return *found;
    site_state fresh;
    fresh.site = std::wstring(site);
    fresh.window_start = now;
    sites_.push_back(std::move(fresh));
    return sites_.back();
}

std::vector<log_rate_limit::owed_line> log_rate_limit::take_owed(clock::time_point now, bool all) {
    std::vector<owed_line> owed;
    for (site_state& known : sites_) {
        const bool over = now - known.window_start >= window_;
        if (!over && !all) continue;
        if (known.suppressed > 0) {
            owed.push_back({known.site + L": " + std::to_wstring(known.suppressed) + L" more suppressed",
                            known.suppressed_levels});
        }
        known.suppressed = 0;
        known.suppressed_levels = 0;
        if (over) {
            known.window_start = now;
            known.written = 0;
        }
    }
    return owed;
}

void log_rate_limit::write(const std::vector<owed_line>& lines) {
    for (const owed_line& line : lines) kes::log(line.message, line.level);
}

bool log_rate_limit::admits(std::wstring_view site, std::uint32_t level) {
    if (!log_enabled(level)) return false;
    const clock::time_point now = now_();
    std::vector<owed_line> owed;
    bool admitted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        owed = take_owed(now, false);
        site_state& known = state_of(site, now);
        admitted = known.written < lines_per_window_;
        if (admitted) {
            ++known.written;
        } else {
            ++known.suppressed;
            known.suppressed_levels |= level;
        }
    }
    write(owed);
    return admitted;
}

void log_rate_limit::log(std::wstring_view site, const std::wstring& detail, std::uint32_t level) {
    if (admits(site, level)) kes::log(std::wstring(site) + L": " + detail, level);
}

void log_rate_limit::log(std::wstring_view site, std::uint32_t level) {
    if (admits(site, level)) kes::log(std::wstring(site), level);
}

void log_rate_limit::flush() {
    std::vector<owed_line> owed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        owed = take_owed(now_(), true);
    }
    write(owed);
}

}  // namespace kes
