#pragma once
// Whether an X server answers on a display, asked before the toolkit
// connects (the toolkit ends the process when it cannot).

#include <string>

namespace platform {

// `display_name` empty means $DISPLAY; false when it is unset or no server answers.
bool x11_display_reachable(const std::string& display_name = {});

}  // namespace platform
