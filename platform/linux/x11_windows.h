#pragma once
// One connection to the X server, for the windows the user works in (idle time
// and display state have their own session, platform/linux/x11_session.h): the
// active window, the window holding the input focus, and per window its
// process id, WM_CLASS, title and the window it is transient for.
//
// What it learns it keeps, and keeps current from the server's events: the
// root window's _NET_ACTIVE_WINDOW and window-manager properties, and the
// process id, class, titles and owner of the last few windows it was asked
// about. A window that ends is forgotten, and one found missing is so for
// one question or pass only: the server hands a closed client's ids to the
// next client, so a later window may have the same id. Between `begin_pass`
// and `end_pass` an answer once given stays the pass's answer; what changed
// is read again when first asked, after the events that came in with the
// reply naming the window; outside a pass each answer first waits for the
// server to deliver every change made before the question.
//
// A change of the root's work area it takes in, and its own connecting, are
// announced to the toolkit's connection, which no longer hears of root
// property changes itself (platform/linux/toolkit_root_events.h).
//
// A session belongs to one thread: every thread that asks X11 keeps its own.
// It connects lazily to $DISPLAY; with no display every answer is "none".
// Losing the connection (log-out, server gone) never ends the process: the
// session goes dead, sends nothing more, answers "none" from then on, and
// posts `display_connection_lost_notice` once; the program's owner of its
// end decides what follows.

#include "platform/window_facts.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Posted on the default notification centre (platform/notification_center.h),
// on the session's own thread, when a session finds its connection lost.
inline constexpr const char* display_connection_lost_notice = "KESDisplayConnectionLostNotification";

class x11_windows final : public window_facts {
public:
    // `display_name` empty means $DISPLAY.
    explicit x11_windows(std::string display_name = {});
    ~x11_windows() override;
    x11_windows(const x11_windows&) = delete;
    x11_windows& operator=(const x11_windows&) = delete;

    // Opens the connection when needed; false when no server answers (a
    // failed attempt is retried at most every few seconds) or it was lost.
    bool connected() override;
    bool lost() const override;

    // A sampling pass: the changes the server reported so far are taken in
    // at its start, and the answers stay consistent until its end.
    void begin_pass() override;
    void end_pass() override;

    // Counts what changed the session's picture: every event taken in,
    // every fact read, the connection made or lost.
    std::uint64_t changes() const override;

    // The root window's _NET_ACTIVE_WINDOW.
    std::optional<window_id> active_window() override;
    // A running window manager lists _NET_ACTIVE_WINDOW among what it
    // supports (_NET_SUPPORTED, with a live _NET_SUPPORTING_WM_CHECK).
    bool window_manager_names_active_window() override;
    window_id input_focus_window() override;

    // _NET_WM_PID, else the X-Resource client id of the window's owner.
    std::optional<int> window_pid(window_id window) override;
    std::string window_class(window_id window) override;
    // _NET_WM_NAME (UTF-8), else WM_NAME.
    std::string window_title(window_id window) override;
    // WM_TRANSIENT_FOR, or 0.
    window_id transient_for(window_id window) override;
    // New whenever the session starts watching the id afresh. Outside a pass
    // it answers as the last question about the window left it.
    std::uint64_t window_generation(window_id window) override;

    // Read from /proc.
    std::string executable_of(int pid) override;

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace platform
