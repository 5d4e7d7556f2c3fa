#pragma once
// Which kind of desktop session the agent runs in, and what it can read
// there. In an X11 session every window is an X11 window the agent can read;
// in a Wayland session only the applications that Xwayland serves are, and
// while a native Wayland application is in front the X server knows no
// window in front at all.

#include <string>

namespace platform {

enum class session_kind { x11, wayland };

// From this process's environment: Wayland when XDG_SESSION_TYPE says
// "wayland" or WAYLAND_DISPLAY names a display; X11 otherwise.
session_kind current_session_kind();

// One plain sentence: the session's kind and what the agent can read in it.
std::string session_reading_text(session_kind kind);

}  // namespace platform
