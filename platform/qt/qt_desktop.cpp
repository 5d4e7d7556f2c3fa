#include "platform/qt/qt_desktop.h"

#include "platform/qt/desktop_url_opener.h"
#include "platform/qt/qt_alert_presenter.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_keyboard.h"
#include "platform/qt/qt_status_item.h"
#include "platform/qt/settings_user_defaults.h"

namespace platform {

desktop make_qt_desktop(main_queue& queue, qt_desktop_options options) {
    desktop made;
    made.app = std::make_shared<qt_application>(queue, options.program_name);
    made.alerts = std::make_shared<qt_alert_presenter>();
    made.defaults = std::make_shared<settings_user_defaults>(
        options.defaults_folder.empty() ? settings_user_defaults::default_folder() : options.defaults_folder);
    made.status = std::make_shared<qt_status_item>();
    made.notifier = std::make_shared<tray_notifier>(queue, made.status, std::move(options.log_unshown_notification));
    made.opener = std::make_shared<desktop_url_opener>(queue);
    made.pasteboard = std::make_shared<qt_clipboard>(queue);
    made.keys = std::make_shared<qt_keyboard>(queue);
    made.version = system_version::create();
    made.login = make_autostart_login_items();
    return made;
}

}  // namespace platform
