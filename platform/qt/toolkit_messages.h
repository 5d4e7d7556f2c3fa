#pragma once
// The toolkit's warnings, handed to a function of the caller's as they are
// given. The toolkit says why before it ends the process itself (a broken
// display connection), and only its own output, stderr, would hear it
// otherwise. Its output stays as it was.

#include <functional>
#include <string>

namespace platform {

// Warnings, criticals and fatals (UTF-8); informational and debug messages
// are not passed on. Called on whichever thread the toolkit speaks on. Set
// once, before the application object is made.
void forward_toolkit_warnings(std::function<void(const std::string& text)> receiver);

}  // namespace platform
