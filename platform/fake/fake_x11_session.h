#pragma once
// A display whose idle time and power state the test sets.

#include "platform/linux/x11_session.h"

#include <mutex>

namespace platform {

class fake_x11_session final : public x11_session {
public:
    std::optional<double> idle_seconds() override;
    display_power display_state() override;

    void set_idle_seconds(std::optional<double> seconds);
    void set_display_state(display_power state);

private:
    std::mutex mutex_;
    std::optional<double> idle_;
    display_power state_ = display_power::on;
};

}  // namespace platform
