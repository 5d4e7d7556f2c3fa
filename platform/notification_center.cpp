#include "platform/notification_center.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace platform {

struct notification_center::token::entry {
    std::string name;
    observer handler;
    std::atomic<bool> active{true};
};

struct notification_center::state {
    std::mutex mutex;
    std::vector<std::shared_ptr<token::entry>> entries;

    void remove(const std::shared_ptr<token::entry>& gone) {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (*it == gone) {
                entries.erase(it);
                return;
            }
        }
    }
};

notification_center::token::token(std::weak_ptr<void> state, std::shared_ptr<entry> observed)
    : state_(std::move(state)), entry_(std::move(observed)) {}

notification_center::token& notification_center::token::operator=(token&& other) noexcept {
    if (this != &other) {
        reset();
        state_ = std::move(other.state_);
        entry_ = std::move(other.entry_);
    }
    return *this;
}

notification_center::token::~token() { reset(); }

void notification_center::token::reset() {
    if (!entry_) return;
    entry_->active.store(false);
    if (const auto alive = std::static_pointer_cast<notification_center::state>(state_.lock())) alive->remove(entry_);
    entry_.reset();
    state_.reset();
}

bool notification_center::token::active() const { return entry_ && entry_->active.load(); }

notification_center::notification_center() : state_(std::make_shared<state>()) {}

notification_center::~notification_center() = default;

notification_center& notification_center::default_center() {
    static notification_center* const centre = new notification_center();
    return *centre;
}

notification_center::token notification_center::add_observer(const std::string& name, observer handler) {
    auto observed = std::make_shared<token::entry>();
    observed->name = name;
    observed->handler = std::move(handler);
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->entries.push_back(observed);
    }
    return token(std::weak_ptr<void>(std::static_pointer_cast<void>(state_)), observed);
}

void notification_center::post(const std::string& name, const user_info& info) {
    std::vector<std::shared_ptr<token::entry>> receivers;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (const auto& each : state_->entries) {
            if (each->name == name) receivers.push_back(each);
        }
    }
    // Outside the lock: an observer may add or remove observers, or post.
    for (const auto& each : receivers) {
        if (each->active.load()) each->handler(info);
    }
}

}  // namespace platform
