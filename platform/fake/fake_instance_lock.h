#pragma once
// An instance lock in memory: the test decides whether another copy holds it
// and records what was asked, in order.

#include "platform/instance_lock.h"

#include <string>
#include <vector>

namespace platform {

class fake_instance_lock final : public instance_lock {
public:
    explicit fake_instance_lock(state answer = state::held) : answer_(answer) {}

    void post_opening_notification() override { calls.push_back("post"); }
    state acquire() override {
        calls.push_back("acquire");
        return answer_;
    }
    long holder_pid() override { return holder; }
    int notification_fd() const override { return -1; }
    int take_notifications() override {
        const int count = pending;
        pending = 0;
        return count;
    }

    std::vector<std::string> calls;
    int pending = 0;
    long holder = 0;

private:
    state answer_;
};

}  // namespace platform
