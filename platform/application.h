#pragma once
// The desktop application of the agent: the toolkit's loop on the main thread.
// It serves the main queue (tasks in order, timers, watched descriptors) until
// main_queue::quit, and never ends because its last window closed: the agent
// lives in the status item, not in a window.

namespace platform {

class application {
public:
    virtual ~application() = default;

    // Main thread only. Returns the code given to main_queue::quit (at once
    // when quit was asked before the loop started).
    virtual int run() = 0;

    // False when there is no display and the toolkit draws offscreen: windows
    // then exist but nobody sees them, and there is no tray.
    virtual bool has_screen() const = 0;
};

}  // namespace platform
