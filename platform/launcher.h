#pragma once
// The agent's entry among the user's applications (what the desktop's
// application menu and launchers list). Starting it runs the agent; where a
// copy runs already, that copy opens its menu at the pointer. On a desktop
// without a tray this is how the user reaches the agent.

#include "platform/bundle.h"

#include <string>

namespace platform {

// ${XDG_DATA_HOME:-~/.local/share}/applications
std::string applications_dir();

// Writes "<folder>/<identifier>.desktop" for the bundle at `main_bundle` (its
// name, its executable, its icon), or brings an older one up to date; an
// entry that is as it should be is left untouched. True when the entry is
// there as it should be; false (nothing changed) when the bundle has no
// identifier or executable or the folder cannot be written.
bool install_launcher_entry(const std::string& main_bundle = main_bundle_path(),
                            const std::string& folder = applications_dir());

}  // namespace platform
