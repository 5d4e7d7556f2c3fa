#include "platform/updater.h"

#include <utility>

namespace platform {
namespace {

class log_only_updater final : public updater {
public:
    explicit log_only_updater(std::function<void(const std::string&)> log_line)
        : log_line_(std::move(log_line)) {}

    bool check_in_background() override {
        if (log_line_) log_line_("[updater] update check requested; no update source on this platform, no update");
        return false;
    }

private:
    std::function<void(const std::string&)> log_line_;
};

}  // namespace

std::shared_ptr<updater> make_log_only_updater(std::function<void(const std::string&)> log_line) {
    return std::make_shared<log_only_updater>(std::move(log_line));
}

}  // namespace platform
