#include "platform/qt/qt_alert_presenter.h"

#include "platform/qt/alert_dialog.h"
#include "platform/main_thread_call.h"

namespace platform {

alert_response qt_alert_presenter::run_modal(const alert& request) {
    return call_on_main_thread(queue_, [&request] {
               alert_dialog dialog(request);
               return dialog.run();
           })
        .value_or(alert_response{});
}

}  // namespace platform
