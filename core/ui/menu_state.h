#pragma once
// What the status menu shows follows from a few settings and the time left
// of a pause or a focus session. The state is computed whole (base rules,
// then pause and focus session, then the enterprise overrides) before
// anything is set, so each item is set once per pass with its final value
// and an unchanged menu is never marked dirty.

#include "core/ui/system_tray_menu.h"
#include "core/ui/tray_items.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kes {

class config;
class system_tray_menu_interface;

struct menu_facts {
    bool goto_dashboard_allowed = true;
    bool offline_time_menu_allowed = false;
    bool quitting_allowed = true;
    bool pausing_allowed = true;
    bool survey_available = false;
    bool paused = false;                 // the pause has not ended
    std::int64_t pause_seconds_left = 0;
    bool focus_session = false;          // a focus session runs
    std::int64_t focus_seconds_left = 0;
    bool enterprise = false;             // a team key is set
    bool logging_enabled = true;
    bool logging_allowed_now = true;
    bool feedback_address = false;       // `enterprise_feedback_url` is set
    std::uint32_t enterprise_user_mode = 0;
};

// Reads the facts from the configuration at `now`.
menu_facts read_menu_facts(const config& settings, const boost::posix_time::ptime& now);

// An empty member leaves that part of the item as it is.
using item_state = tray_item_state;
using menu_state = tray_menu_state;

menu_state menu_state_for(const menu_facts& facts);

// True when `menu_state_for` gives the same state for both: every fact the
// state reads is equal (the time left of a pause or a focus session counts
// only while one runs).
bool same_menu_facts(const menu_facts& a, const menu_facts& b);

// Sets what the state names; the menu marks itself dirty only on a change.
// Answers the menu's change count right after.
std::uint64_t apply_menu_state(const menu_state& state, system_tray_menu_interface& menu);

// The texts of the pause information (33) and the focus session (28) for
// the seconds left.
std::wstring pause_info_text(std::int64_t seconds_left);
std::wstring focus_info_text(std::int64_t seconds_left);

}  // namespace kes
