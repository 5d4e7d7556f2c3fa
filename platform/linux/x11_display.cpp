#include "platform/x11_display.h"

#include "platform/linux/xlib_setup.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace platform {

bool x11_display_reachable(const std::string& display_name) {
    const char* name = display_name.empty() ? std::getenv("DISPLAY") : display_name.c_str();
    if (name == nullptr || *name == '\0') return false;
    prepare_xlib();
    Display* display = XOpenDisplay(name);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}

}  // namespace platform
