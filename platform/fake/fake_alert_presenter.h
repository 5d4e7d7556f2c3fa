#pragma once
// Alerts for tests: every alert is recorded with the thread it was shown on,
// and answered at once from the answers the test queued (else by its first
// button, with the field's initial text).

#include "platform/alert.h"

#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class fake_alert_presenter final : public alert_presenter {
public:
    struct shown {
        alert request;
        std::thread::id thread;
    };

    void queue_answer(alert_response answer);

    void show(const alert& request, answer_handler answered) override;

    std::vector<shown> alerts() const;

private:
    mutable std::mutex mutex_;
    std::deque<alert_response> answers_;
    std::vector<shown> shown_;
};

}  // namespace platform
