#pragma once
// Login items: helper applications inside the main bundle that the desktop
// session starts when this user logs in. An item is named by its bundle
// identifier and lies in <main bundle>/Contents/Library/LoginItems/*.app.
//
// Here an enabled item is a freedesktop autostart entry,
// "<autostart folder>/<identifier>.desktop" (mode 0600, replaced atomically),
// whose Exec line runs the item's executable.

#include "platform/bundle.h"

#include <memory>
#include <string>

namespace platform {

class login_items {
public:
    virtual ~login_items() = default;

    // Registers the item to start at log-in (true) or removes it (false).
    // True when the session now does as asked; on failure nothing is changed
    // (an identifier no item of the bundle has, an item without a regular
    // executable, a file standing where the autostart folder must be, ...).
    virtual bool set_enabled(const std::string& identifier, bool enabled) = 0;

    // Whether the session starts this bundle's item at log-in: its entry is
    // there, runs the item where it lies now, and is not switched off.
    virtual bool is_enabled(const std::string& identifier) = 0;

    // Whether the item's entry is there but the user switched it off with
    // the desktop's own startup settings ("Hidden=true" or
    // "X-GNOME-Autostart-enabled=false"): that choice is the user's to undo.
    virtual bool is_switched_off(const std::string& identifier) = 0;
};

// ${XDG_CONFIG_HOME:-~/.config}/autostart
std::string autostart_dir();

// The login items of the bundle at `main_bundle`, as entries in `autostart_folder`.
std::unique_ptr<login_items> make_autostart_login_items(std::string main_bundle = main_bundle_path(),
                                                        std::string autostart_folder = autostart_dir());

}  // namespace platform
