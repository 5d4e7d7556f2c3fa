#pragma once
// Bringing a window of the agent in front of other applications' windows: the
// agent has no window of its own that the user clicks first, so every window
// it shows must come forward by itself, and the ones that must not get lost
// behind others stay above them (the floating level).

class QWidget;

namespace platform {

enum class window_level { normal, floating };

// Shows the window, raises it and gives it the keyboard focus. Main thread only.
void bring_to_front(QWidget& window, window_level level = window_level::floating);

// The same, centred on the screen the first time the window shows; later it
// opens where the user left it.
void present(QWidget& window, window_level level = window_level::floating);

}  // namespace platform
