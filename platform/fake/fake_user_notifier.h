#pragma once
// Notifications for tests: recorded with their thread; the test says whether
// a tray "shows" them.

#include "platform/user_notifier.h"

#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class fake_user_notifier final : public user_notifier {
public:
    struct notification {
        std::string title;
        std::string text;
        std::thread::id thread;
    };

    delivery notify(const std::string& title, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        notifications_.push_back({title, text, std::this_thread::get_id()});
        return answer;
    }
    std::vector<notification> notifications() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return notifications_;
    }

    delivery answer = delivery::shown;

private:
    mutable std::mutex mutex_;
    std::vector<notification> notifications_;
};

}  // namespace platform
