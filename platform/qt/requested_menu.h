#pragma once
// Opens a menu on request (a click on the status item, a second start of
// the agent) and keeps it open across a deactivation of the application
// that is older than the request. The toolkit closes every popup when the
// application goes inactive; on X11 it learns that a window of ours lost
// the focus only a moment after the fact, so the loss that came just
// before the request (the user left the agent's window to start the agent
// again) can arrive once the menu is open, when this process was busy. A
// menu closed by a deactivation before it ever had the focus opens again
// where it was, once per request. Main thread only.

#include <memory>

class QMenu;
class QPoint;

namespace platform {

class requested_menu {
public:
    // `menu` outlives this object.
    explicit requested_menu(QMenu& menu);
    ~requested_menu();
    requested_menu(const requested_menu&) = delete;
    requested_menu& operator=(const requested_menu&) = delete;

    // Opens the menu with its top left corner at `at` (screen coordinates).
    void popup(const QPoint& at);

private:
    class watcher;
    std::unique_ptr<watcher> watcher_;
};

}  // namespace platform
