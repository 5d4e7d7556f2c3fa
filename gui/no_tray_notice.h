#pragma once
// Tells the user how to reach Kestrel on a desktop that shows no tray: a
// small window, shown once per user (a user default remembers it), that
// points to Kestrel's entry among the applications, whose start opens the
// menu at the pointer. Main thread only.

#include <memory>

class QWidget;

namespace platform {
class user_defaults;
}

namespace kes {

// The user default that says the window was shown.
inline constexpr const char* no_tray_notice_shown_default = "com.kestrel.Kestrel.HasShownNoTrayMessageBefore";

class no_tray_notice {
public:
    no_tray_notice();
    ~no_tray_notice();
    no_tray_notice(const no_tray_notice&) = delete;
    no_tray_notice& operator=(const no_tray_notice&) = delete;

    // Shows the window unless `defaults` say it was shown before, and
    // remembers that it was. Without defaults it shows every time.
    void show_unless_seen(platform::user_defaults* defaults);

    QWidget& window() { return *window_; }

private:
    std::unique_ptr<QWidget> window_;
};

}  // namespace kes
