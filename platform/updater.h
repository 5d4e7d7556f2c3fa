#pragma once
// Background update checks. This desktop has no update feed: the log-only
// updater records that a check was asked for and reports no update.

#include <functional>
#include <memory>
#include <string>

namespace platform {

class updater {
public:
    virtual ~updater() = default;

    // Looks for a newer version without asking the user; answers whether one
    // was found (and is being offered). May throw on a broken update source.
    virtual bool check_in_background() = 0;
};

// Writes one line through `log_line` per check and never finds an update.
std::shared_ptr<updater> make_log_only_updater(std::function<void(const std::string&)> log_line);

}  // namespace platform
