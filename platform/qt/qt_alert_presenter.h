#pragma once
// Alerts shown as the agent's own dialog (platform/qt/alert_dialog.h).

#include "platform/alert.h"

namespace platform {

class main_queue;

class qt_alert_presenter final : public alert_presenter {
public:
    explicit qt_alert_presenter(main_queue& queue) : queue_(queue) {}

    alert_response run_modal(const alert& request) override;

private:
    main_queue& queue_;
};

}  // namespace platform
