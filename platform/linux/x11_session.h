#pragma once
// What the X server knows about the user at the keyboard: the time since the
// last input and whether the display is powered or blanked. No X11 type leaks
// out of here, so Qt code may include this header.
//
// Where the server offers it (the SYNC extension's idle counter with alarms,
// the screen saver's notices, a server on this machine's clock) the session
// keeps both facts from the server's own reports, which wait in the
// connection until a question reads them: a question then costs no round
// trip and no wake-up. Otherwise each question asks the server.

#include <memory>
#include <optional>
#include <string>

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
    // display is reachable or the server has neither the idle counter nor
    // the screen-saver extension. From one second on it is the server's
    // count to the millisecond. Kept from the alarms, a value under a second
    // is only known to be under it: the answer is then the time since the
    // first input after the last quiet second, at most 0.999.
    virtual std::optional<double> idle_seconds() = 0;

    // DPMS power level where the server can power the monitor down, else the
    // screen-saver state (active saver = off); unknown without a display.
    virtual display_power display_state() = 0;

    // Idle time and display state together, from one exchange with the
    // server where it can.
    virtual x11_sample sample() { return {idle_seconds(), display_state()}; }
};

// A session on `display_name` ($DISPLAY when empty). It connects lazily and
// reconnects after the server went away, so it can be made before any
// display exists. Thread-safe. `keep_from_reports` false asks the server at
// every question, as the session does when the server lacks what the
// reports need.
std::shared_ptr<x11_session> open_x11_session(std::string display_name = {}, bool keep_from_reports = true);

}  // namespace platform
