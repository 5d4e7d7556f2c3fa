#include "platform/qt/qt_alert_presenter.h"

#include "platform/qt/alert_dialog.h"

#include <utility>

namespace platform {

qt_alert_presenter::qt_alert_presenter() = default;

qt_alert_presenter::~qt_alert_presenter() = default;

void qt_alert_presenter::show(const alert& request, answer_handler answered) {
    waiting_.push_back({request, std::move(answered)});
    if (!shown_) show_next();
}

void qt_alert_presenter::show_next() {
    if (waiting_.empty()) return;
    waiting next = std::move(waiting_.front());
    waiting_.pop_front();
    shown_ = std::make_unique<alert_dialog>(next.request);
    shown_answered_ = std::move(next.answered);
    QObject::connect(shown_.get(), &QDialog::finished, shown_.get(), [this](int result) { finished(result); });
    shown_->show();
}

void qt_alert_presenter::finished(int result) {
    const alert_response response = shown_->answer_for(result);
    answered_ = std::move(shown_);
    answer_handler answered = std::move(shown_answered_);
    shown_answered_ = {};
    // The handler may show an alert of its own: it waits behind those
    // already waiting.
    if (answered) answered(response);
    if (!shown_) show_next();
}

}  // namespace platform
