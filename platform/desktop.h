#pragma once
// The desktop services the platform-side classes use, handed around as one
// value: made together by the toolkit (platform/qt/qt_desktop.h) or as fakes
// (platform/fake/fake_desktop.h).

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/keyboard.h"
#include "platform/login_items.h"
#include "platform/status_item.h"
#include "platform/system_version.h"
#include "platform/url_opener.h"
#include "platform/user_defaults.h"
#include "platform/user_notifier.h"

#include <memory>

namespace platform {

struct desktop {
    std::shared_ptr<application> app;  // first: the others need it, and it outlives them
    std::shared_ptr<alert_presenter> alerts;
    std::shared_ptr<user_defaults> defaults;
    std::shared_ptr<status_item> status;
    std::shared_ptr<user_notifier> notifier;
    std::shared_ptr<url_opener> opener;
    std::shared_ptr<clipboard> pasteboard;
    std::shared_ptr<keyboard> keys;
    std::shared_ptr<system_version> version;
    std::shared_ptr<login_items> login;
};

}  // namespace platform
