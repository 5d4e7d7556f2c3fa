#include "platform/alert.h"

#include "platform/main_queue.h"

namespace platform {

std::vector<std::string> alert::button_titles() const {
    if (buttons.empty()) return {"OK"};
    return buttons;
}

std::optional<std::size_t> alert::cancel_button() const {
    const std::vector<std::string> titles = button_titles();
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (titles[i] == "Cancel") return i;
    }
    if (titles.size() == 1) return 0;
    return std::nullopt;
}

alert_response wait_for_answer(const std::shared_ptr<alert_presenter>& alerts, main_queue& queue,
                               const alert& request) {
    // Shared with the handler, which may run after a closed queue let the caller go.
    auto answer = std::make_shared<alert_response>();
    const bool answered = queue.sync_until_done([alerts, request, answer](main_queue::completion done) {
        alerts->show(request, [answer, done = std::move(done)](const alert_response& response) {
            *answer = response;
            done();
        });
    });
    return answered ? *answer : alert_response{};
}

}  // namespace platform
