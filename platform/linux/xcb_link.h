#pragma once
// One xcb connection to the X server, for the X11 code of this folder only
// (xcb types stay behind the platform interfaces). Requests that do not
// depend on each other are sent together and their replies collected after
// one wait, counted as one round trip (platform/linux/x11_traffic.h). Once xcb
// reports the connection broken nothing is sent on it again; it is only
// released.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform::xcb {

struct free_deleter {
    void operator()(void* data) const { std::free(data); }
};
template <typename T>
using owned = std::unique_ptr<T, free_deleter>;

class link {
public:
    // `display_name` empty means $DISPLAY. Check `usable()` afterwards.
    explicit link(const std::string& display_name);
    ~link();
    link(const link&) = delete;
    link& operator=(const link&) = delete;

    // Connected, and no failure reported by xcb since.
    bool usable() const;
    xcb_connection_t* get() const { return connection_; }
    xcb_window_t root() const { return root_; }

    // Called once before collecting the replies of requests sent together:
    // sends them and lets the server run before their replies are read.
    void begin_wait() const;

    // Interns `names` in one round trip; 0 for a name the server refused.
    template <std::size_t N>
    void intern(const char* const (&names)[N], xcb_atom_t (&atoms)[N]) const {
        intern_all(names, atoms, N);
    }

private:
    void intern_all(const char* const* names, xcb_atom_t* atoms, std::size_t count) const;

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

// Hands `each` every event the server has sent so far: those xcb holds
// already, then one read of the socket (another only when that read filled
// xcb's buffer). Reading on until the socket is empty would cost a system
// call that finds nothing at every pass; a closed connection is then seen
// at the next read.
void take_sent_events(const link& connection, const std::function<void(const xcb_generic_event_t&)>& each);

// Hands `each` only the events xcb has read already (with a reply, those the
// server sent before it), without a system call; answers how many.
std::size_t take_queued_events(const link& connection, const std::function<void(const xcb_generic_event_t&)>& each);

// The reply to the request numbered `sequence` (null with `error` set, or
// null when the connection broke). Collecting after `begin_wait`, what the
// socket holds already is read first, and only a reply not yet there is
// waited for: xcb's own reply functions poll before every read.
void* take_raw_reply(const link& connection, unsigned int sequence, xcb_generic_error_t** error);

template <typename Reply>
owned<Reply> take_reply(const link& connection, unsigned int sequence, xcb_generic_error_t** error = nullptr) {
    return owned<Reply>(static_cast<Reply*>(take_raw_reply(connection, sequence, error)));
}

// A GetProperty reply's value, checked against the expected type and
// format; `found` is false when the property is absent, of another type or
// format, or could not be read.
struct property_value {
    bool found = false;
    xcb_atom_t type = 0;
    std::string_view bytes;
    owned<xcb_get_property_reply_t> reply;

    std::uint32_t first_card32() const;
    std::size_t card32_count() const { return bytes.size() / 4; }
};

// Sends GetProperty for the whole value (up to 256 KiB).
xcb_get_property_cookie_t request_property(const link& connection, xcb_window_t window, xcb_atom_t name,
                                           xcb_atom_t type);
// `type` 0 accepts any type; `format` 0 any format. `window_gone` is set
// when the server answered that the window does not exist.
property_value collect_property(const link& connection, xcb_get_property_cookie_t cookie, xcb_atom_t type,
                                int format, bool* window_gone = nullptr);

}  // namespace platform::xcb
