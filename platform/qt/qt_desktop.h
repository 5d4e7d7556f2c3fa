#pragma once
// Every desktop service on Qt Widgets, made in the order they need each other:
// the application object first. Main thread only; the caller keeps the result
// alive as long as any widget exists.

#include "platform/desktop.h"
#include "platform/qt/tray_notifier.h"

#include <string>

namespace platform {

class main_queue;

struct qt_desktop_options {
    std::string program_name = "Kestrel";
    std::string defaults_folder;  // empty: ${XDG_CONFIG_HOME:-~/.config}/kestrel
    // Where notifications go when no tray shows the status item.
    tray_notifier::log_function log_unshown_notification;
};

desktop make_qt_desktop(main_queue& queue, qt_desktop_options options = {});

}  // namespace platform
