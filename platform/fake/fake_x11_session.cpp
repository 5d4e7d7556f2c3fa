#include "platform/fake/fake_x11_session.h"

namespace platform {

std::optional<double> fake_x11_session::idle_seconds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_;
}

display_power fake_x11_session::display_state() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void fake_x11_session::set_idle_seconds(std::optional<double> seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_ = seconds;
}

void fake_x11_session::set_display_state(display_power state) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
}

}  // namespace platform
