#include "tests/support/recording_ui.h"

namespace kes::testing {

std::vector<std::wstring> recording_ui::opened_urls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_urls_;
}

std::vector<std::wstring> recording_ui::notifications() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notifications_;
}

std::vector<std::wstring> recording_ui::blocked_items() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocked_items_;
}

void recording_ui::ux_open_url(const std::wstring& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_urls_.push_back(address);
}

void recording_ui::show_user_notification(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    notifications_.push_back(text);
}

void recording_ui::on_blocked_item_focused(const std::wstring& item) {
    std::lock_guard<std::mutex> lock(mutex_);
    blocked_items_.push_back(item);
}

}  // namespace kes::testing
