#pragma once
// A private Xvfb server for one test program, and real X11 windows on it
// that a test places in front the way a window manager would
// (_NET_ACTIVE_WINDOW) or a bare server does (the input focus).

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kes::testing {

// Tests that need Xvfb skip without it, except under CI (the environment
// variable CI set), which installs it: there a missing Xvfb is a failure.
bool xvfb_is_required();

class xvfb_server {
public:
    // Starts Xvfb on a free display number, with `extra_arguments` (such as
    // "-extension", "SYNC" to leave an extension out); `running()` is false
    // when it cannot be started.
    explicit xvfb_server(const std::vector<std::string>& extra_arguments = {});
    ~xvfb_server();
    xvfb_server(const xvfb_server&) = delete;
    xvfb_server& operator=(const xvfb_server&) = delete;

    bool running() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }
    // Ends the server at once (a lost connection for its clients).
    void kill_now();

private:
    pid_t pid_ = -1;
    std::string display_;
};

class test_windows {
public:
    using window_id = std::uint64_t;

    explicit test_windows(const std::string& display);
    ~test_windows();
    test_windows(const test_windows&) = delete;
    test_windows& operator=(const test_windows&) = delete;

    // A mapped top-level window. Empty texts leave the property unset; a pid
    // of 0 sets no _NET_WM_PID.
    window_id create(const std::string& utf8_title, const std::string& wm_class, long pid,
                     const std::string& latin1_wm_name = {});
    void set_transient_for(window_id window, window_id owner);
    void set_title(window_id window, const std::string& utf8_title);         // _NET_WM_NAME
    void set_legacy_name(window_id window, const std::string& latin1_name);  // WM_NAME
    void remove_title(window_id window);                                     // _NET_WM_NAME deleted
    void destroy(window_id window);
    // Returns once a top-level window is gone, such as one of a client that
    // ended: the server ends its windows when it reads the end of its
    // connection, a moment after the client closed it.
    void wait_until_gone(window_id window);

    // As a window manager that names the active window does: a check window
    // naming itself and _NET_SUPPORTED listing _NET_ACTIVE_WINDOW on the root.
    void act_as_window_manager();
    // As a manager that ended: its check window is gone, its root
    // properties stay behind.
    void end_window_manager();

    // As a window manager does: the root's _NET_ACTIVE_WINDOW.
    void set_active(window_id window);
    void remove_active();
    // As a bare server does: the input focus.
    void focus(window_id window);

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace kes::testing
