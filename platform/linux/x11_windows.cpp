// xcb lives in this folder only; nothing here is seen by the toolkit's code.
#include "platform/linux/x11_windows.h"

#include "platform/linux/compound_text.h"
#include "platform/linux/toolkit_root_events.h"
#include "platform/linux/xcb_link.h"
#include "platform/bundle.h"
#include "platform/notification_center.h"

#include <xcb/res.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unordered_map>

namespace platform {
namespace {

constexpr auto reconnect_gap = std::chrono::seconds(5);
// Windows asked about recently stay watched, so coming back to one costs
// nothing; beyond this many the least recently asked is let go.
constexpr std::size_t watched_limit = 8;
constexpr int deepest_focus_walk = 64;

enum atom_index {
    net_active_window,
    net_wm_pid,
    net_wm_name,
    utf8_string,
    wm_state,
    net_supported,
    net_supporting_wm_check,
    compound_text,
    net_workarea,
    atom_count
};
constexpr const char* atom_names[atom_count] = {"_NET_ACTIVE_WINDOW", "_NET_WM_PID", "_NET_WM_NAME",
                                               "UTF8_STRING",        "WM_STATE",    "_NET_SUPPORTED",
                                               "_NET_SUPPORTING_WM_CHECK", "COMPOUND_TEXT", "_NET_WORKAREA"};

// The toolkit's connection hears of no root property change
// (toolkit_root_events.h); it learns of a new work area from here.
void announce_work_area(std::optional<xcb_timestamp_t> changed_at) {
    user_info info;
    if (changed_at) info[work_area_notice_time] = std::to_string(*changed_at);
    notification_center::default_center().post(work_area_notice, info);
}

constexpr std::uint32_t root_events = XCB_EVENT_MASK_PROPERTY_CHANGE;
constexpr std::uint32_t watched_events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
constexpr std::uint32_t no_events = 0;

// What is known of one watched window; a fact not known is read on the
// next question that needs it.
struct watched_window {
    bool pid_known = false;
    std::optional<int> pid;
    bool class_known = false;
    std::string wm_class;
    // The title is _NET_WM_NAME where the window has one, else WM_NAME. Each
    // is read again only after it changed (most clients change both), and
    // WM_NAME only while _NET_WM_NAME is absent or being read too.
    bool net_name_known = false;
    std::optional<std::string> net_name;
    bool name_known = false;
    std::string name;
    bool owner_known = false;
    xcb_window_t owner = 0;
    std::uint64_t last_asked = 0;
    std::uint64_t generation = 0;
    // The pass that last answered from this entry: what a pass was told stays
    // its answer until it ends, whatever the server reports meanwhile.
    std::uint64_t answered_in_pass = 0;
    // The window went away (destroyed, or missing when read). Its entry
    // answers only the pass that already used it and is dropped before any
    // later question, so a window that gets the same id is read afresh.
    bool forget = false;

    bool title_known() const { return net_name_known && (net_name || name_known); }
    const std::string& title() const { return net_name ? *net_name : name; }
    bool complete() const { return pid_known && class_known && title_known() && owner_known; }
};

std::string class_of(const xcb::property_value& value) {
    if (!value.found) return {};
    const std::string_view bytes = value.bytes;
    const auto end_of_name = bytes.find('\0');
    if (end_of_name == std::string_view::npos) return {};
    const std::string_view rest = bytes.substr(end_of_name + 1);
    return std::string(rest.substr(0, rest.find('\0')));
}

}  // namespace

struct x11_windows::state {
    std::string display_name;
    std::unique_ptr<xcb::link> link;
    bool lost = false;
    bool in_pass = false;
    std::uint64_t pass = 0;  // the number of the running or last pass
    // The root's answers given in the running pass.
    bool active_answered = false;
    bool manager_answered = false;
    // Events taken within a pass may leave unread what that pass answered;
    // the next pass counts them as a change (see `changes`).
    bool taken_during_pass = false;
    bool some_to_forget = false;
    std::chrono::steady_clock::time_point next_attempt{};
    xcb_atom_t atoms[atom_count]{};
    bool has_xres = false;
    std::uint64_t questions = 0;
    std::uint64_t changes = 0;
    std::uint64_t generations = 0;

    bool active_known = false;
    std::optional<xcb_window_t> active;
    bool manager_known = false;
    bool manager_names_active = false;
    xcb_window_t manager_check = 0;
    std::unordered_map<xcb_window_t, watched_window> watched;

    xcb_connection_t* c() const { return link->get(); }
    xcb_window_t root() const { return link->root(); }

    // False once the connection broke; the first to see it announces it to
    // whoever decides what the program does then.
    bool alive() {
        if (lost) return false;
        if (link && link->usable()) return true;
        if (link) {
            lost = true;
            ++changes;
            notification_center::default_center().post(display_connection_lost_notice);
        }
        return false;
    }

    bool connect() {
        if (lost) return false;
        if (link) return alive();
        const auto now = std::chrono::steady_clock::now();
        if (now < next_attempt) return false;
        next_attempt = now + reconnect_gap;
        auto opened = std::make_unique<xcb::link>(display_name);
        if (!opened->usable()) return false;
        link = std::move(opened);
        ++changes;
        xcb_prefetch_extension_data(c(), &xcb_res_id);
        link->intern(atom_names, atoms);
        const xcb_query_extension_reply_t* xres = xcb_get_extension_data(c(), &xcb_res_id);
        has_xres = xres && xres->present;
        xcb_change_window_attributes(c(), root(), XCB_CW_EVENT_MASK, &root_events);
        announce_work_area(std::nullopt);
        return alive();
    }

    // Takes in every event the server has already sent; reads nothing more.
    void take_events() {
        xcb::take_sent_events(*link, [this](const xcb_generic_event_t& event) { take_in(event); });
    }

    // Within a pass, before a window named by a reply is answered for: the
    // events the server sent before that reply, already read with it (a
    // DestroyNotify of an earlier window with that id among them).
    void take_queued_events() {
        xcb::take_queued_events(*link, [this](const xcb_generic_event_t& event) { take_in(event); });
    }

    void take_in(const xcb_generic_event_t& event) {
        ++changes;
        taken_during_pass = taken_during_pass || in_pass;
        switch (event.response_type & 0x7F) {
            case XCB_PROPERTY_NOTIFY: {
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(&event);
                property_changed(notify->window, notify->atom);
                if (notify->window == root() && notify->atom == atoms[net_workarea]) {
                    announce_work_area(notify->time);
                }
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                const auto* notify = reinterpret_cast<const xcb_destroy_notify_event_t*>(&event);
                window_destroyed(notify->window);
                break;
            }
            default:
                break;  // errors of requests without replies, other notices
        }
    }

    bool answered_in_this_pass(const watched_window& facts) const {
        return in_pass && facts.answered_in_pass == pass;
    }

    // A fact marked unknown is read at the next question that needs it, but
    // not again in a pass that already answered from it.
    void property_changed(xcb_window_t window, xcb_atom_t atom) {
        if (window == root()) {
            if (atom == atoms[net_active_window]) active_known = false;
            if (atom == atoms[net_supported] || atom == atoms[net_supporting_wm_check]) manager_known = false;
            return;
        }
        if (window == manager_check && atom == atoms[net_supporting_wm_check]) manager_known = false;
        const auto found = watched.find(window);
        if (found == watched.end()) return;
        watched_window& facts = found->second;
        if (atom == atoms[net_wm_pid]) facts.pid_known = false;
        if (atom == XCB_ATOM_WM_CLASS) facts.class_known = false;
        if (atom == atoms[net_wm_name]) facts.net_name_known = false;
        if (atom == XCB_ATOM_WM_NAME) facts.name_known = false;
        if (atom == XCB_ATOM_WM_TRANSIENT_FOR) facts.owner_known = false;
    }

    // The id may name another window from now on: nothing known of this one
    // may answer for it.
    void window_destroyed(xcb_window_t window) {
        if (window == manager_check) manager_known = false;
        const auto found = watched.find(window);
        if (found == watched.end()) return;
        if (answered_in_this_pass(found->second)) {
            found->second.forget = true;
            some_to_forget = true;
        } else {
            watched.erase(found);
        }
    }

    // Between passes, and before a question outside a pass.
    void forget_gone_windows() {
        if (!some_to_forget) return;
        some_to_forget = false;
        for (auto it = watched.begin(); it != watched.end();) {
            if (it->second.forget) {
                it = watched.erase(it);
                ++changes;
            } else {
                ++it;
            }
        }
    }

    // Nothing can be watched on a window that is not there: the answer holds
    // for this question or pass only.
    void mark_gone(watched_window& facts) {
        facts.forget = true;
        some_to_forget = true;
        facts.pid_known = facts.class_known = facts.net_name_known = facts.name_known = facts.owner_known = true;
        facts.pid.reset();
        facts.wm_class.clear();
        facts.net_name.reset();
        facts.name.clear();
        facts.owner = 0;
    }

    void end_pass() {
        in_pass = false;
        active_answered = false;
        manager_answered = false;
    }

    // Outside a pass an answer must reflect every change made before the
    // question: one round trip brings in the events the server queued
    // before it.
    bool ready() {
        if (!connect()) return false;
        ++questions;
        if (!in_pass) {
            forget_gone_windows();
            const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(c());
            link->begin_wait();
            std::free(xcb_get_input_focus_reply(c(), cookie, nullptr));
            take_events();
        }
        return alive();
    }

    // The root's facts not known, in one round trip; an answer the running
    // pass gave already stays until it ends.
    void read_root() {
        const bool read_active = !active_known && !active_answered;
        const bool read_manager = !manager_known && !manager_answered;
        if (!read_active && !read_manager) return;
        ++changes;
        xcb_get_property_cookie_t active_cookie{};
        xcb_get_property_cookie_t supported_cookie{};
        xcb_get_property_cookie_t check_cookie{};
        if (read_active) {
            active_cookie = xcb::request_property(*link, root(), atoms[net_active_window], XCB_ATOM_WINDOW);
        }
        if (read_manager) {
            supported_cookie = xcb::request_property(*link, root(), atoms[net_supported], XCB_ATOM_ATOM);
            check_cookie = xcb::request_property(*link, root(), atoms[net_supporting_wm_check], XCB_ATOM_WINDOW);
        }
        link->begin_wait();
        if (read_active) {
            const xcb::property_value active_value =
                xcb::collect_property(*link, active_cookie, XCB_ATOM_WINDOW, 32);
            active = active_value.found && active_value.card32_count() > 0
                         ? std::optional<xcb_window_t>(active_value.first_card32())
                         : std::nullopt;
            active_known = true;
        }
        if (!read_manager) return;

        const xcb::property_value supported = xcb::collect_property(*link, supported_cookie, XCB_ATOM_ATOM, 32);
        const xcb::property_value check = xcb::collect_property(*link, check_cookie, XCB_ATOM_WINDOW, 32);
        bool lists_active = false;
        for (std::size_t i = 0; i < supported.card32_count(); ++i) {
            std::uint32_t atom = 0;
            std::memcpy(&atom, supported.bytes.data() + 4 * i, sizeof atom);
            lists_active = lists_active || atom == atoms[net_active_window];
        }
        manager_check = check.found && check.card32_count() > 0 ? check.first_card32() : 0;
        manager_names_active = false;
        if (lists_active && manager_check != 0) {
            // A manager that ended leaves its properties behind; its check
            // window, naming itself, lives only as long as it runs.
            xcb_change_window_attributes(c(), manager_check, XCB_CW_EVENT_MASK, &watched_events);
            const auto own_cookie =
                xcb::request_property(*link, manager_check, atoms[net_supporting_wm_check], XCB_ATOM_WINDOW);
            link->begin_wait();
            const xcb::property_value own = xcb::collect_property(*link, own_cookie, XCB_ATOM_WINDOW, 32);
            manager_names_active = own.found && own.card32_count() > 0 && own.first_card32() == manager_check;
        }
        manager_known = true;
    }

    watched_window& facts_of(xcb_window_t window) {
        if (in_pass) take_queued_events();
        auto [found, added] = watched.try_emplace(window);
        watched_window& facts = found->second;
        facts.last_asked = questions;
        if (added) {
            facts.generation = ++generations;
            // Watched before it is read: a change made after the read is
            // reported, and so is its end.
            xcb_change_window_attributes(c(), window, XCB_CW_EVENT_MASK, &watched_events);
            let_go_of_the_oldest(window);
        }
        if (!facts.complete() && !answered_in_this_pass(facts)) read_facts(window, facts);
        if (in_pass) facts.answered_in_pass = pass;
        return facts;
    }

    // Not one the running pass answered from: asked again, it would be read
    // afresh and might answer otherwise.
    void let_go_of_the_oldest(xcb_window_t keep) {
        while (watched.size() > watched_limit) {
            auto oldest = watched.end();
            for (auto it = watched.begin(); it != watched.end(); ++it) {
                if (it->first == keep || answered_in_this_pass(it->second)) continue;
                if (oldest == watched.end() || it->second.last_asked < oldest->second.last_asked) oldest = it;
            }
            if (oldest == watched.end()) return;
            // The window may be gone already; the error that brings is ignored.
            xcb_change_window_attributes(c(), oldest->first, XCB_CW_EVENT_MASK, &no_events);
            watched.erase(oldest);
            ++changes;
        }
    }

    // Every fact not known, in one round trip.
    void read_facts(xcb_window_t window, watched_window& facts) {
        ++changes;
        const bool read_pid = !facts.pid_known;
        const bool read_class = !facts.class_known;
        const bool read_net_name = !facts.net_name_known;
        const bool read_name = !facts.name_known && !(facts.net_name_known && facts.net_name);
        const bool read_owner = !facts.owner_known;
        xcb_get_property_cookie_t pid_cookie{}, class_cookie{}, net_name_cookie{}, name_cookie{}, owner_cookie{};
        xcb_res_query_client_ids_cookie_t client_cookie{};
        if (read_pid) pid_cookie = xcb::request_property(*link, window, atoms[net_wm_pid], XCB_ATOM_CARDINAL);
        if (read_class) class_cookie = xcb::request_property(*link, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        if (read_net_name) {
            net_name_cookie = xcb::request_property(*link, window, atoms[net_wm_name], atoms[utf8_string]);
        }
        if (read_name) name_cookie = xcb::request_property(*link, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY);
        if (read_owner) {
            owner_cookie = xcb::request_property(*link, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
        }
        // The X-Resource question goes last: the server may send the replies
        // before it apart from its own, and it is waited for only when the
        // window names no process itself, so a pass waits once for the rest.
        const bool ask_client_pid = read_pid && has_xres;
        if (ask_client_pid) {
            const xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            client_cookie = xcb_res_query_client_ids(c(), 1, &spec);
        }
        link->begin_wait();

        bool gone = false;
        std::optional<int> named_pid;
        if (read_pid) {
            const xcb::property_value pid = xcb::collect_property(*link, pid_cookie, XCB_ATOM_CARDINAL, 32, &gone);
            if (pid.found && pid.card32_count() > 0 && pid.first_card32() > 0) {
                named_pid = static_cast<int>(pid.first_card32());
            }
        }
        if (read_class) {
            facts.wm_class = class_of(xcb::collect_property(*link, class_cookie, XCB_ATOM_STRING, 8, &gone));
            facts.class_known = true;
        }
        if (read_net_name) {
            const xcb::property_value net_name =
                xcb::collect_property(*link, net_name_cookie, atoms[utf8_string], 8, &gone);
            facts.net_name = net_name.found ? std::optional<std::string>(net_name.bytes) : std::nullopt;
            facts.net_name_known = true;
        }
        if (read_name) {
            facts.name = legacy_title(xcb::collect_property(*link, name_cookie, XCB_GET_PROPERTY_TYPE_ANY, 0, &gone));
            facts.name_known = true;
        }
        if (read_owner) {
            const xcb::property_value owner =
                xcb::collect_property(*link, owner_cookie, XCB_ATOM_WINDOW, 32, &gone);
            facts.owner = owner.found && owner.card32_count() > 0 ? owner.first_card32() : 0;
            if (facts.owner == root()) facts.owner = 0;
            facts.owner_known = true;
        }
        if (read_pid) {
            if (ask_client_pid && named_pid) {
                xcb_discard_reply(c(), client_cookie.sequence);
            } else if (ask_client_pid) {
                named_pid = read_client_pid(client_cookie);
            }
            facts.pid = named_pid;
            facts.pid_known = true;
        }
        if (gone) mark_gone(facts);
    }

    std::optional<int> read_client_pid(xcb_res_query_client_ids_cookie_t cookie) {
        const xcb::owned<xcb_res_query_client_ids_reply_t> reply(
            xcb_res_query_client_ids_reply(c(), cookie, nullptr));
        if (!reply) return std::nullopt;
        for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
             xcb_res_client_id_value_next(&it)) {
            const xcb_res_client_id_value_t* value = it.data;
            if (!(value->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || value->length < 4) continue;
            const auto pid = static_cast<std::int32_t>(*xcb_res_client_id_value_value(value));
            if (pid > 0) return static_cast<int>(pid);
        }
        return std::nullopt;
    }

    // WM_NAME in whatever encoding its client chose, as UTF-8.
    std::string legacy_title(const xcb::property_value& name) const {
        if (!name.found || name.reply->format != 8) return {};
        if (name.type == XCB_ATOM_STRING) return latin1_to_utf8(name.bytes);
        if (name.type == atoms[compound_text]) {
            if (auto text = compound_text_to_utf8(name.bytes)) return *text;
        }
        return std::string(name.bytes);
    }

    xcb_window_t input_focus() {
        const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(c());
        link->begin_wait();
        const auto reply = xcb::take_reply<xcb_get_input_focus_reply_t>(*link, cookie.sequence);
        if (!reply) return 0;
        const xcb_window_t focus = reply->focus;
        if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus == root()) return 0;
        // The focus may sit on a child of the client window; the client is the
        // first ancestor the window manager marked (WM_STATE) or, without one,
        // the top-level window.
        xcb_window_t current = focus;
        for (int depth = 0; depth < deepest_focus_walk && alive(); ++depth) {
            const auto properties_cookie = xcb_list_properties(c(), current);
            const auto tree_cookie = xcb_query_tree(c(), current);
            link->begin_wait();
            const auto properties = xcb::take_reply<xcb_list_properties_reply_t>(*link, properties_cookie.sequence);
            const auto tree = xcb::take_reply<xcb_query_tree_reply_t>(*link, tree_cookie.sequence);
            if (properties) {
                const xcb_atom_t* names = xcb_list_properties_atoms(properties.get());
                const int count = xcb_list_properties_atoms_length(properties.get());
                if (std::find(names, names + count, atoms[wm_state]) != names + count) return current;
            }
            if (!tree) return 0;
            if (tree->parent == XCB_NONE || tree->parent == tree->root) return current;
            current = tree->parent;
        }
        return 0;
    }
};

x11_windows::x11_windows(std::string display_name) : state_(std::make_unique<state>()) {
    state_->display_name = std::move(display_name);
}

x11_windows::~x11_windows() = default;

bool x11_windows::lost() const { return state_->lost; }

bool x11_windows::connected() { return state_->connect(); }

void x11_windows::begin_pass() {
    state& s = *state_;
    s.end_pass();
    if (!s.connect()) return;
    if (s.taken_during_pass) ++s.changes;
    s.taken_during_pass = false;
    s.forget_gone_windows();
    s.take_events();
    ++s.pass;
    s.in_pass = s.alive();
}

void x11_windows::end_pass() { state_->end_pass(); }

std::uint64_t x11_windows::changes() const { return state_->changes; }

std::optional<x11_windows::window_id> x11_windows::active_window() {
    state& s = *state_;
    if (!s.ready()) return std::nullopt;
    s.read_root();
    s.active_answered = s.in_pass;
    if (!s.alive() || !s.active) return std::nullopt;
    return static_cast<window_id>(*s.active);
}

bool x11_windows::window_manager_names_active_window() {
    state& s = *state_;
    if (!s.ready()) return false;
    s.read_root();
    s.manager_answered = s.in_pass;
    return s.alive() && s.manager_names_active;
}

x11_windows::window_id x11_windows::input_focus_window() {
    state& s = *state_;
    if (!s.ready()) return 0;
    const xcb_window_t focus = s.input_focus();
    return s.alive() ? focus : 0;
}

std::optional<int> x11_windows::window_pid(window_id window) {
    state& s = *state_;
    if (window == 0 || !s.ready()) return std::nullopt;
    const watched_window& facts = s.facts_of(static_cast<xcb_window_t>(window));
    return s.alive() ? facts.pid : std::nullopt;
}

std::string x11_windows::window_class(window_id window) {
    state& s = *state_;
    if (window == 0 || !s.ready()) return {};
    const watched_window& facts = s.facts_of(static_cast<xcb_window_t>(window));
    return s.alive() ? facts.wm_class : std::string();
}

std::string x11_windows::window_title(window_id window) {
    state& s = *state_;
    if (window == 0 || !s.ready()) return {};
    const watched_window& facts = s.facts_of(static_cast<xcb_window_t>(window));
    return s.alive() ? facts.title() : std::string();
}

x11_windows::window_id x11_windows::transient_for(window_id window) {
    state& s = *state_;
    if (window == 0 || !s.ready()) return 0;
    const watched_window& facts = s.facts_of(static_cast<xcb_window_t>(window));
    return s.alive() ? facts.owner : 0;
}

std::uint64_t x11_windows::window_generation(window_id window) {
    state& s = *state_;
    if (window == 0 || !s.connect()) return 0;
    // Outside a pass it is asked right after the window's other facts: their
    // question brought the session up to date, and needs no second round trip.
    if (!s.in_pass) {
        const auto found = s.watched.find(static_cast<xcb_window_t>(window));
        if (found != s.watched.end()) return found->second.generation;
        if (!s.ready()) return 0;
    }
    const watched_window& facts = s.facts_of(static_cast<xcb_window_t>(window));
    return s.alive() ? facts.generation : 0;
}

std::string x11_windows::executable_of(int pid) { return platform::executable_of(pid); }

}  // namespace platform
