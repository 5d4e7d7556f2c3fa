#include "platform/fake/fake_alert_presenter.h"

namespace platform {

void fake_alert_presenter::queue_answer(alert_response answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(answer));
}

void fake_alert_presenter::set_during_run(std::function<void(const alert&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    during_run_ = std::move(hook);
}

alert_response fake_alert_presenter::run_modal(const alert& request) {
    std::function<void(const alert&)> hook;
    alert_response answer{alert_first_button, request.field ? request.field->text : std::string()};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.push_back({request, std::this_thread::get_id()});
        hook = during_run_;
        if (!answers_.empty()) {
            answer = std::move(answers_.front());
            answers_.pop_front();
        }
    }
    if (hook) hook(request);
    return answer;
}

std::vector<fake_alert_presenter::shown> fake_alert_presenter::alerts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

}  // namespace platform
