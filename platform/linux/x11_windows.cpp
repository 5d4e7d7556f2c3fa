// Xlib lives in this file only: its headers define names (Status, Bool, None)
// that clash with the toolkit's.
#include "platform/x11_windows.h"

#include "platform/linux/xlib_setup.h"
#include "platform/main_queue.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <unistd.h>

namespace platform {
namespace {

constexpr auto reconnect_gap = std::chrono::seconds(5);

// Xlib calls this after an IO error instead of exit(): the session stops
// using the connection and the agent ends through its orderly way out.
void connection_lost(Display*, void* session) {
    static_cast<x11_windows*>(session)->on_connection_lost();
}

std::string latin1_to_utf8(const unsigned char* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct property_deleter {
    void operator()(unsigned char* data) const {
        if (data) XFree(data);
    }
};
using property_data = std::unique_ptr<unsigned char, property_deleter>;

}  // namespace

struct x11_windows::state {
    std::string display_name;
    Display* display = nullptr;
    bool lost = false;
    std::chrono::steady_clock::time_point next_attempt{};
    Atom net_active_window = 0;
    Atom net_wm_pid = 0;
    Atom net_wm_name = 0;
    Atom utf8_string = 0;
    Atom wm_state = 0;
    bool has_xres = false;

    Window root() const { return DefaultRootWindow(display); }

    // One property, whole; nullptr when absent or of another type/format.
    property_data property(Window window, Atom name, Atom type, int format, unsigned long& items) {
        Atom actual_type = 0;
        int actual_format = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        items = 0;
        const int status = XGetWindowProperty(display, window, name, 0, 65536, False, type, &actual_type,
                                              &actual_format, &items, &remaining, &data);
        property_data owned(data);
        if (status != Success || lost || actual_type != type || actual_format != format) return nullptr;
        return owned;
    }

    bool has_property(Window window, Atom name) {
        int count = 0;
        Atom* atoms = XListProperties(display, window, &count);
        bool found = false;
        for (int i = 0; i < count; ++i) found = found || atoms[i] == name;
        if (atoms) XFree(atoms);
        return found;
    }
};

x11_windows::x11_windows(std::string display_name) : state_(std::make_unique<state>()) {
    state_->display_name = std::move(display_name);
}

x11_windows::~x11_windows() {
    if (!state_->display) return;
    if (!state_->lost) {
        XCloseDisplay(state_->display);
        return;
    }
    // After an IO error Xlib's display lock is no longer usable and
    // XCloseDisplay would wait on it for ever; only the socket is released,
    // the small connection record is left to the process's end.
    ::close(ConnectionNumber(state_->display));
}

bool x11_windows::lost() const { return state_->lost; }

void x11_windows::on_connection_lost() {
    state_->lost = true;
    main_queue::instance().quit(0);
}

bool x11_windows::connected() {
    state& s = *state_;
    if (s.lost) return false;
    if (s.display) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now < s.next_attempt) return false;
    s.next_attempt = now + reconnect_gap;
    prepare_xlib();
    s.display = XOpenDisplay(s.display_name.empty() ? nullptr : s.display_name.c_str());
    if (!s.display) return false;
    XSetIOErrorExitHandler(s.display, &connection_lost, this);
    s.net_active_window = XInternAtom(s.display, "_NET_ACTIVE_WINDOW", False);
    s.net_wm_pid = XInternAtom(s.display, "_NET_WM_PID", False);
    s.net_wm_name = XInternAtom(s.display, "_NET_WM_NAME", False);
    s.utf8_string = XInternAtom(s.display, "UTF8_STRING", False);
    s.wm_state = XInternAtom(s.display, "WM_STATE", False);
    int event_base = 0;
    int error_base = 0;
    s.has_xres = XResQueryExtension(s.display, &event_base, &error_base) == True;
    return !s.lost;
}

std::optional<x11_windows::window_id> x11_windows::active_window() {
    if (!connected()) return std::nullopt;
    unsigned long items = 0;
    const property_data data = state_->property(state_->root(), state_->net_active_window, XA_WINDOW, 32, items);
    if (!data || items == 0) return std::nullopt;
    return static_cast<window_id>(reinterpret_cast<const unsigned long*>(data.get())[0]);
}

x11_windows::window_id x11_windows::input_focus_window() {
    if (!connected()) return 0;
    state& s = *state_;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(s.display, &focus, &revert);
    if (s.lost || focus == None || focus == PointerRoot || focus == s.root()) return 0;
    // The focus may sit on a child of the client window; the client is the
    // first ancestor the window manager marked (WM_STATE) or, without one,
    // the top-level window.
    Window current = focus;
    for (int depth = 0; depth < 64 && !s.lost; ++depth) {
        if (s.has_property(current, s.wm_state)) return current;
        Window root_return = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(s.display, current, &root_return, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        if (parent == 0 || parent == root_return) return current;
        current = parent;
    }
    return 0;
}

std::optional<int> x11_windows::window_pid(window_id window) {
    if (window == 0 || !connected()) return std::nullopt;
    state& s = *state_;
    unsigned long items = 0;
    if (const property_data data = s.property(window, s.net_wm_pid, XA_CARDINAL, 32, items); data && items > 0) {
        const auto pid = reinterpret_cast<const unsigned long*>(data.get())[0];
        if (pid > 0) return static_cast<int>(pid);
    }
    if (!s.has_xres) return std::nullopt;
    XResClientIdSpec spec{static_cast<XID>(window), XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(s.display, 1, &spec, &count, &values) != Success || s.lost) return std::nullopt;
    std::optional<int> pid;
    for (long i = 0; i < count && !pid; ++i) {
        const pid_t found = XResGetClientPid(&values[i]);
        if (found > 0) pid = static_cast<int>(found);
    }
    XResClientIdsDestroy(count, values);
    return pid;
}

std::string x11_windows::window_class(window_id window) {
    if (window == 0 || !connected()) return {};
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(state_->display, window, &hint) || state_->lost) return {};
    std::string result = hint.res_class ? hint.res_class : "";
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return result;
}

std::string x11_windows::window_title(window_id window) {
    if (window == 0 || !connected()) return {};
    state& s = *state_;
    unsigned long items = 0;
    if (const property_data data = s.property(window, s.net_wm_name, s.utf8_string, 8, items); data) {
        return std::string(reinterpret_cast<const char*>(data.get()), items);
    }
    XTextProperty text{};
    if (!XGetWMName(s.display, window, &text) || s.lost || !text.value) return {};
    const property_data owned(text.value);
    if (text.format != 8) return {};
    if (text.encoding == XA_STRING) return latin1_to_utf8(text.value, text.nitems);
    if (text.encoding == s.utf8_string) return std::string(reinterpret_cast<const char*>(text.value), text.nitems);
    // Compound text: let Xlib convert it; keep the bytes when it cannot.
    char** list = nullptr;
    int count = 0;
    std::string result(reinterpret_cast<const char*>(text.value), text.nitems);
    if (Xutf8TextPropertyToTextList(s.display, &text, &list, &count) >= Success && list) {
        if (count > 0 && list[0]) result = list[0];
        XFreeStringList(list);
    }
    return result;
}

x11_windows::window_id x11_windows::transient_for(window_id window) {
    if (window == 0 || !connected()) return 0;
    Window owner = 0;
    if (!XGetTransientForHint(state_->display, window, &owner) || state_->lost) return 0;
    if (owner == state_->root()) return 0;
    return owner;
}

}  // namespace platform
