#include "platform/session_kind.h"

#include <cstdlib>
#include <cstring>

namespace platform {

session_kind current_session_kind() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
    if ((type && std::strcmp(type, "wayland") == 0) || (wayland_display && *wayland_display)) {
        return session_kind::wayland;
    }
    return session_kind::x11;
}

std::string session_reading_text(session_kind kind) {
    if (kind == session_kind::wayland) {
        return "Wayland session: Kestrel reads only applications that run on X11 (through Xwayland); while a native "
               "Wayland application is in front, it cannot tell which application or window that is.";
    }
    return "X11 session: Kestrel reads the application in front and the title of its window.";
}

}  // namespace platform
