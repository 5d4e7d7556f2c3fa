#pragma once
// Tells the user how to reach Kestrel on a desktop that shows no tray: a
// small window, shown once per user (a user default remembers it), that
// points to Kestrel's entry among the applications, whose start opens the
// menu at the pointer. The window exists only while it is open. Main
// thread only.

#include "gui/on_demand_window.h"

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace platform {
class user_defaults;
}

namespace kes {

// The user default that says the window was shown.
inline constexpr const char* no_tray_notice_shown_default = "com.kestrel.Kestrel.HasShownNoTrayMessageBefore";

struct no_tray_window {
    static constexpr const char* layout_name = "noTrayWindow";

    std::unique_ptr<QWidget> noTrayWindow;
};
no_tray_window build_no_tray_window();

class no_tray_notice {
public:
    no_tray_notice();
    ~no_tray_notice();
    no_tray_notice(const no_tray_notice&) = delete;
    no_tray_notice& operator=(const no_tray_notice&) = delete;

    // Shows the window unless `defaults` say it was shown before, and
    // remembers that it was. Without defaults it shows every time.
    void show_unless_seen(platform::user_defaults* defaults);

    // Null unless open (or just closed).
    QWidget* window() const { return window_.window(); }

    // Runs `then` once the window is closed: at once when it is not open.
    // What would stand over the window waits for the user to read it.
    void after_closed(std::function<void()> then);

private:
    void closed();

    // Before the window: a window destroyed while open says it hid.
    std::vector<std::function<void()>> waiting_;
    on_demand_window<no_tray_window> window_;
};

}  // namespace kes
