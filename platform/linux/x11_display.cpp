#include "platform/linux/x11_display.h"

#include "platform/linux/xcb_link.h"

#include <cstdlib>

namespace platform {

bool x11_display_reachable(const std::string& display_name) {
    const char* name = display_name.empty() ? std::getenv("DISPLAY") : display_name.c_str();
    if (name == nullptr || *name == '\0') return false;
    return xcb::link(name).usable();
}

}  // namespace platform
