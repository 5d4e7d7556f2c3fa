#include "platform/fake/fake_alert_presenter.h"

namespace platform {

void fake_alert_presenter::queue_answer(alert_response answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(answer));
}

void fake_alert_presenter::show(const alert& request, answer_handler answered) {
    alert_response answer{alert_first_button, request.field ? request.field->text : std::string()};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.push_back({request, std::this_thread::get_id()});
        if (!answers_.empty()) {
            answer = std::move(answers_.front());
            answers_.pop_front();
        }
    }
    if (answered) answered(answer);
}

std::vector<fake_alert_presenter::shown> fake_alert_presenter::alerts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

}  // namespace platform
