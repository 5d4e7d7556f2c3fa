#pragma once
// What the UI bridge is made with on this desktop: the toolkit's services,
// the status menu drawn into the status item's own menu, and the
// application controller's loop.

#include "app/osx_ui.h"

namespace kes {

// Main thread, after the desktop (and with it the application object) exists.
osx_ui_services make_desktop_ui_services(platform::desktop desktop, platform::main_queue& queue);

}  // namespace kes
