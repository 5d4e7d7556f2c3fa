#pragma once
// What the X server knows about the user at the keyboard: the time since the
// last input and whether the display is powered or blanked. No X11 type leaks
// out of here, so Qt code may include this header.

#include <memory>
#include <optional>

namespace platform {

enum class display_power { on, off, unknown };

// Both facts as the server saw them at one moment.
struct x11_sample {
    std::optional<double> idle_seconds;
    display_power display = display_power::unknown;
};

class x11_session {
public:
    virtual ~x11_session() = default;

    // Seconds since the last keyboard or pointer input; nothing when no
    // display is reachable or the server lacks the screen-saver extension.
    virtual std::optional<double> idle_seconds() = 0;

    // DPMS power level where the server can power the monitor down, else the
    // screen-saver state (active saver = off); unknown without a display.
    virtual display_power display_state() = 0;

    // Idle time and display state together, from one exchange with the
    // server where it can.
    virtual x11_sample sample() { return {idle_seconds(), display_state()}; }
};

// A session on $DISPLAY. It connects lazily and reconnects after the server
// went away, so it can be made before any display exists. Thread-safe.
std::shared_ptr<x11_session> open_x11_session();

}  // namespace platform
