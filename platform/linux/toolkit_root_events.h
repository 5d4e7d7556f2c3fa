#pragma once
// The toolkit's own X connection selects property changes on the root window,
// for one of them: the desktop's work area (_NET_WORKAREA). Every window
// switch changes other root properties (the active window, the stacking
// order), and each change would wake two of the toolkit's threads, whatever
// the agent does with it. The agent's window session (x11_windows) takes in
// the root's changes anyway, at its pass and without a wake-up of its own.
//
// So this takes property changes off the toolkit's root event mask, leaving
// every other event it selected there (the tray manager's notices, pointer
// crossings, screen changes), and when the window session announces that the
// work area may have changed it hands the toolkit the notice the server
// would have sent: the toolkit then reads the work area again itself.
//
// The toolkit asks the server for a timestamp through a root property change
// only while it has never seen an event with a time; every window it creates
// gives it one, before any of its windows could put text on the clipboard.

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace platform {

// Posted on the default notification centre (platform/notification_center.h)
// by the window session, on its own thread, whenever it saw the root's work
// area change (with the server's time of the change under
// `work_area_notice_time`), and when it connects (what changed before cannot
// be known; no time).
inline constexpr const char* work_area_notice = "KESWorkAreaMayHaveChangedNotification";
inline constexpr const char* work_area_notice_time = "time";

class toolkit_root_events {
public:
    // `connection` is the toolkit's, not owned; it must outlive this object.
    // A broken or absent connection leaves everything as it was.
    explicit toolkit_root_events(xcb_connection_t* connection);
    ~toolkit_root_events();
    toolkit_root_events(const toolkit_root_events&) = delete;
    toolkit_root_events& operator=(const toolkit_root_events&) = delete;

    // The root windows whose property changes no longer reach the toolkit.
    std::size_t narrowed_roots() const { return roots_.size(); }
    // Has the toolkit read the work area again; `server_time` is the change's
    // time when known, else 0. On the toolkit's thread.
    void work_area_may_have_changed(std::uint32_t server_time = 0);

private:
    xcb_connection_t* connection_ = nullptr;
    std::vector<std::uint32_t> roots_;
    std::uint32_t work_area_atom_ = 0;
    // An input-only window of the toolkit's connection: events sent to it
    // reach the toolkit's event loop, as the server's own notices do.
    std::uint32_t listener_ = 0;
};

}  // namespace platform
