#pragma once
// Whether the agent may read what other applications show: the front window
// and its title. The setup asks for this permission until it is given; on
// this desktop the X server grants it to every client of the session, so
// the agent holds it exactly when it can read the front window over X11.

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

}  // namespace platform
