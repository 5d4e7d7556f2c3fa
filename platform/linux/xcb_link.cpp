#include "platform/linux/xcb_link.h"

#include "platform/linux/x11_traffic.h"

#include <xcb/xcbext.h>

#include <sched.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace platform {
namespace {

std::atomic<std::uint64_t> round_trips{0};

// 65536 units of four bytes: a title or class far longer than any real one.
constexpr std::uint32_t whole_property = 65536;

}  // namespace

std::uint64_t x11_round_trips() { return round_trips.load(std::memory_order_relaxed); }

namespace xcb {

link::link(const std::string& display_name) {
    int screen_number = 0;
    connection_ = xcb_connect(display_name.empty() ? nullptr : display_name.c_str(), &screen_number);
    if (xcb_connection_has_error(connection_)) return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem > 0) root_ = screens.data->root;
}

// xcb_disconnect also releases a connection that failed or broke; it sends
// nothing.
link::~link() { xcb_disconnect(connection_); }

bool link::usable() const { return connection_ && root_ != 0 && xcb_connection_has_error(connection_) == 0; }

void link::begin_wait() const {
    round_trips.fetch_add(1, std::memory_order_relaxed);
    // The server writes each reply in pieces as it goes. Where it shares our
    // CPU, reading at once woke this thread for every piece (eight times for
    // one window's facts while the window manager was busy); yielding first
    // lets the server, woken by the requests, answer them whole.
    xcb_flush(connection_);
    sched_yield();
}

void take_sent_events(const link& connection, const std::function<void(const xcb_generic_event_t&)>& each) {
    constexpr std::size_t xcb_read_buffer = 4096;  // libxcb's own, of which one read fills at most
    constexpr std::size_t events_per_read = xcb_read_buffer / sizeof(xcb_generic_event_t);
    take_queued_events(connection, each);
    // With nothing queued, xcb_poll_for_event reads the socket once.
    while (xcb_generic_event_t* raw = xcb_poll_for_event(connection.get())) {
        each(*owned<xcb_generic_event_t>(raw));
        if (1 + take_queued_events(connection, each) < events_per_read) return;
    }
}

std::size_t take_queued_events(const link& connection, const std::function<void(const xcb_generic_event_t&)>& each) {
    std::size_t taken = 0;
    for (; xcb_generic_event_t* raw = xcb_poll_for_queued_event(connection.get()); ++taken) {
        each(*owned<xcb_generic_event_t>(raw));
    }
    return taken;
}

void link::intern_all(const char* const* names, xcb_atom_t* atoms, std::size_t count) const {
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        cookies.push_back(
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]));
    }
    begin_wait();
    for (std::size_t i = 0; i < count; ++i) {
        const owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : 0;
    }
}

std::uint32_t property_value::first_card32() const {
    if (bytes.size() < 4) return 0;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

xcb_get_property_cookie_t request_property(const link& connection, xcb_window_t window, xcb_atom_t name,
                                           xcb_atom_t type) {
    return xcb_get_property(connection.get(), 0, window, name, type, 0, whole_property);
}

void* take_raw_reply(const link& connection, unsigned int sequence, xcb_generic_error_t** error) {
    void* reply = nullptr;
    if (xcb_poll_for_reply(connection.get(), sequence, &reply, error)) return reply;
    return xcb_wait_for_reply(connection.get(), sequence, error);
}

property_value collect_property(const link& connection, xcb_get_property_cookie_t cookie, xcb_atom_t type,
                                int format, bool* window_gone) {
    property_value value;
    xcb_generic_error_t* error = nullptr;
    value.reply = take_reply<xcb_get_property_reply_t>(connection, cookie.sequence, &error);
    if (error) {
        if (window_gone && error->error_code == XCB_WINDOW) *window_gone = true;
        std::free(error);
    }
    const xcb_get_property_reply_t* reply = value.reply.get();
    if (!reply || reply->type == XCB_ATOM_NONE) return value;
    if (type != XCB_GET_PROPERTY_TYPE_ANY && reply->type != type) return value;
    if (format != 0 && reply->format != format) return value;
    value.found = true;
    value.type = reply->type;
    value.bytes = std::string_view(static_cast<const char*>(xcb_get_property_value(reply)),
                                   static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    return value;
}

}  // namespace xcb
}  // namespace platform
