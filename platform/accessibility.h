#pragma once
// Whether the agent may read what other applications show: the front window
// and its title. The setup asks for this permission until it is given; on
// this desktop the X server grants it to every client of the session, so
// the agent holds it exactly when it can read the front window over X11.

#include "platform/session_kind.h"

#include <memory>
#include <string>

namespace platform {

class accessibility {
public:
    virtual ~accessibility() = default;

    // Asked again at every call: the answer may change while the agent runs.
    virtual bool is_process_trusted() = 0;
};

// The X11 answer: a server answers on the display (empty: $DISPLAY) and
// tells the front window (and its title, where a window is in front). Each
// answer opens a connection of its own and closes it before it returns.
std::unique_ptr<accessibility> make_x11_accessibility(const std::string& display_name = {});

// The answer for the session as it is: in a Wayland session the agent cannot
// read other windows in general (native Wayland ones never), so it is not
// trusted whatever the X server says; in an X11 session, the X11 answer.
std::unique_ptr<accessibility> make_session_accessibility(session_kind kind = current_session_kind(),
                                                          const std::string& display_name = {});

}  // namespace platform
