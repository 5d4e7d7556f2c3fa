// xcb lives in this folder only; nothing here is seen by the toolkit's code.
#include "platform/linux/toolkit_root_events.h"

#include "platform/linux/xcb_link.h"

#include <cstring>
#include <utility>

namespace platform {
namespace {

constexpr char work_area_name[] = "_NET_WORKAREA";

}  // namespace

toolkit_root_events::toolkit_root_events(xcb_connection_t* connection) {
    if (connection == nullptr || xcb_connection_has_error(connection) != 0) return;
    connection_ = connection;

    const xcb_intern_atom_cookie_t atom_cookie =
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(work_area_name)), work_area_name);
    std::vector<std::pair<xcb_window_t, xcb_get_window_attributes_cookie_t>> asked;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection_)); screens.rem > 0;
         xcb_screen_next(&screens)) {
        asked.emplace_back(screens.data->root, xcb_get_window_attributes(connection_, screens.data->root));
    }
    // The mask read is this client's own: other clients' selections stay.
    for (const auto& [root, cookie] : asked) {
        const xcb::owned<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection_, cookie, nullptr));
        if (!attributes || !(attributes->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE)) continue;
        const std::uint32_t kept = attributes->your_event_mask & ~std::uint32_t{XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_change_window_attributes(connection_, root, XCB_CW_EVENT_MASK, &kept);
        roots_.push_back(root);
    }
    const xcb::owned<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(connection_, atom_cookie, nullptr));
    work_area_atom_ = atom ? atom->atom : 0;
    if (!roots_.empty()) {
        listener_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, 0, listener_, roots_.front(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    xcb_flush(connection_);
}

toolkit_root_events::~toolkit_root_events() {
    if (listener_ == 0 || xcb_connection_has_error(connection_) != 0) return;
    xcb_destroy_window(connection_, listener_);
    xcb_flush(connection_);
}

void toolkit_root_events::work_area_may_have_changed(std::uint32_t server_time) {
    if (listener_ == 0 || work_area_atom_ == 0 || xcb_connection_has_error(connection_) != 0) return;
    for (const xcb_window_t root : roots_) {
        // The notice as the server words it; the toolkit reads the root's
        // property again whatever the window it arrives for.
        xcb_property_notify_event_t notice{};
        notice.response_type = XCB_PROPERTY_NOTIFY;
        notice.window = root;
        notice.atom = work_area_atom_;
        notice.time = server_time;
        notice.state = XCB_PROPERTY_NEW_VALUE;
        char wire[32]{};
        static_assert(sizeof notice <= sizeof wire);
        std::memcpy(wire, &notice, sizeof notice);
        xcb_send_event(connection_, 0, listener_, XCB_EVENT_MASK_NO_EVENT, wire);
    }
    xcb_flush(connection_);
}

}  // namespace platform
