#pragma once
// Every desktop service as a fake, reachable by its fake type for the test
// and as one platform::desktop for the code under test.

#include "platform/desktop.h"
#include "platform/fake/fake_alert_presenter.h"
#include "platform/fake/fake_application.h"
#include "platform/fake/fake_clipboard.h"
#include "platform/fake/fake_keyboard.h"
#include "platform/fake/fake_login_items.h"
#include "platform/fake/fake_status_item.h"
#include "platform/fake/fake_system_version.h"
#include "platform/fake/fake_url_opener.h"
#include "platform/fake/fake_user_defaults.h"
#include "platform/fake/fake_user_notifier.h"

#include <memory>

namespace platform {

struct fake_desktop {
    explicit fake_desktop(main_queue& queue) : app(std::make_shared<fake_application>(queue)) {}

    desktop services() const {
        return {app, alerts, defaults, status, notifier, opener, pasteboard, keys, version, login};
    }

    std::shared_ptr<fake_application> app;
    std::shared_ptr<fake_alert_presenter> alerts = std::make_shared<fake_alert_presenter>();
    std::shared_ptr<fake_user_defaults> defaults = std::make_shared<fake_user_defaults>();
    std::shared_ptr<fake_status_item> status = std::make_shared<fake_status_item>();
    std::shared_ptr<fake_user_notifier> notifier = std::make_shared<fake_user_notifier>();
    std::shared_ptr<fake_url_opener> opener = std::make_shared<fake_url_opener>();
    std::shared_ptr<fake_clipboard> pasteboard = std::make_shared<fake_clipboard>();
    std::shared_ptr<fake_keyboard> keys = std::make_shared<fake_keyboard>();
    std::shared_ptr<fake_system_version> version = std::make_shared<fake_system_version>();
    std::shared_ptr<fake_login_items> login = std::make_shared<fake_login_items>();
};

}  // namespace platform
