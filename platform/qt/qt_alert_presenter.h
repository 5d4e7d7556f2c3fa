#pragma once
// Alerts shown as the agent's own dialog (platform/qt/alert_dialog.h), one at
// a time in the order asked for. Main thread only.

#include "platform/alert.h"

#include <deque>
#include <memory>

namespace platform {

class alert_dialog;

class qt_alert_presenter final : public alert_presenter {
public:
    qt_alert_presenter();
    ~qt_alert_presenter() override;
    qt_alert_presenter(const qt_alert_presenter&) = delete;
    qt_alert_presenter& operator=(const qt_alert_presenter&) = delete;

    void show(const alert& request, answer_handler answered) override;

    // The alert on screen; null when none is.
    alert_dialog* shown() const { return shown_.get(); }

private:
    struct waiting {
        alert request;
        answer_handler answered;
    };
    void show_next();
    void finished(int result);

    std::deque<waiting> waiting_;
    std::unique_ptr<alert_dialog> shown_;
    answer_handler shown_answered_;
    // The dialog answered last: it cannot end inside its own signal, so it
    // ends when the next one is answered, or with the presenter.
    std::unique_ptr<alert_dialog> answered_;
};

}  // namespace platform
