#include "core/ui/menu_state.h"

#include "core/foundation/config.h"
#include "core/ui/system_tray_menu.h"
#include "core/foundation/text_table.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <algorithm>
#include <initializer_list>

namespace kes {
namespace {

constexpr std::int64_t minute = 60;
constexpr std::int64_t hour = 60 * minute;

// The remaining time is shown rounded up to the next whole minute.
std::int64_t rounded_up_seconds(std::int64_t seconds_left) { return std::max<std::int64_t>(seconds_left, 0) + 59; }

std::int64_t seconds_until(const boost::posix_time::ptime& end, const boost::posix_time::ptime& now) {
    if (end.is_special() || now.is_special()) return 0;
    return (end - now).total_seconds();
}

void hide(menu_state& state, std::initializer_list<int> ids) {
    for (const int id : ids) state[static_cast<std::size_t>(id)].visible = false;
}

item_state& item(menu_state& state, int id) { return state[static_cast<std::size_t>(id)]; }

}  // namespace

std::wstring pause_info_text(std::int64_t seconds_left) {
    const std::int64_t x = rounded_up_seconds(seconds_left);
    if (x <= hour) return get_text_with_args(L"menu_item_pause_info_minutes_left", std::to_wstring(x / minute));
    if (x <= hour + minute) return get_text_with_args(L"menu_item_pause_info_minutes_left", L"60");
    return get_text(L"menu_item_pause_info_tomorrow");
}

std::wstring focus_info_text(std::int64_t seconds_left) {
    const std::int64_t x = rounded_up_seconds(seconds_left);
    if (x > hour) return get_text(L"menu_item_focused_mode");
    return get_text_with_args(L"menu_item_focused_minutes_left", std::to_wstring(x / minute));
}

menu_facts read_menu_facts(const config& settings, const boost::posix_time::ptime& now) {
    menu_facts facts;
    facts.goto_dashboard_allowed = settings.get_goto_dashboard_allowed();
    facts.offline_time_menu_allowed = settings.get_offline_time_menu_allowed();
    facts.quitting_allowed = settings.get_quitting_allowed();
    facts.pausing_allowed = settings.get_pausing_allowed();
    facts.survey_available = settings.has_survey_url();
    facts.paused = settings.is_paused();
    facts.pause_seconds_left = seconds_until(settings.get_paused_until(), now);
    facts.focus_session = settings.is_blocking();
    facts.focus_seconds_left = seconds_until(settings.get_blocking_until(), now);
    facts.enterprise = settings.has_enterprise_team_key();
    facts.logging_enabled = settings.get_logging_enabled();
    facts.logging_allowed_now = settings.is_logging_allowed_now();
    facts.feedback_address = settings.has_enterprise_feedback_url();
    facts.enterprise_user_mode = settings.get_enterprise_user_mode();
    return facts;
}

menu_state menu_state_for(const menu_facts& facts) {
    menu_state state;

    // Base rules.
    item(state, k_tray_item_help).visible = true;
    item(state, k_tray_item_dashboard).visible = facts.goto_dashboard_allowed;
    item(state, k_tray_item_enter_offline_time).visible = facts.offline_time_menu_allowed;
    item(state, k_tray_item_quit).visible = facts.quitting_allowed;
    item(state, k_tray_item_take_survey).visible = facts.survey_available;
    item(state, k_tray_item_preferences_start_at_login).visible = true;
    item(state, k_tray_item_check_for_updates).visible = true;
    item(state, k_tray_item_preferences).visible = true;

    // Pause and focus session.
    const bool paused = facts.pausing_allowed && facts.paused;
    item(state, k_tray_item_paused_info).visible = paused;
    item(state, k_tray_item_unpause).visible = paused;
    if (paused) item(state, k_tray_item_paused_info).text = pause_info_text(facts.pause_seconds_left);
    if (facts.focus_session) {
        item(state, k_tray_item_focused_info).text = focus_info_text(facts.focus_seconds_left);
        item(state, k_tray_item_focused_info).visible = true;
        item(state, k_tray_item_focus).visible = false;
        item(state, k_tray_item_pause).visible = false;
    } else {
        item(state, k_tray_item_focused_info).visible = false;
        item(state, k_tray_item_focus).visible = !paused;
        // Without permission to pause there is nothing to offer.
        item(state, k_tray_item_pause).visible = !paused && facts.pausing_allowed;
    }
    item(state, k_tray_item_quit).enabled = !facts.focus_session;

    // Enterprise overrides.
    if (!facts.enterprise) {
        hide(state, {k_tray_item_enterprise_logging_status, k_tray_item_enterprise_reports,
                     k_tray_item_enterprise_personal_reports, k_tray_item_enterprise_learn_more,
                     k_tray_item_enterprise_feedback});
        return state;
    }
    item(state, k_tray_item_enterprise_logging_status).visible = true;
    item(state, k_tray_item_enterprise_reports).visible = true;
    item(state, k_tray_item_enterprise_learn_more).visible = true;
    if (!facts.logging_enabled) {
        item(state, k_tray_item_enterprise_logging_status).text = get_text(L"menu_item_enterprise_logging_off");
        item(state, k_tray_item_enterprise_reports).text = get_text(L"menu_item_enterprise_start_reporting");
        hide(state, {k_tray_item_enterprise_personal_reports, k_tray_item_enterprise_feedback, k_tray_item_help,
                     k_tray_item_dashboard, k_tray_item_enter_offline_time, k_tray_item_take_survey,
                     k_tray_item_preferences_start_at_login, k_tray_item_check_for_updates,
                     k_tray_item_preferences, k_tray_item_focus, k_tray_item_pause, k_tray_item_paused_info,
                     k_tray_item_unpause});
        return state;
    }
    item(state, k_tray_item_enterprise_logging_status).text =
        get_text(facts.logging_allowed_now ? L"menu_item_enterprise_logging_on" : L"menu_item_enterprise_logging_paused");
    item(state, k_tray_item_enterprise_reports).text = get_text(L"menu_item_enterprise_stop_reporting");
    item(state, k_tray_item_enterprise_feedback).visible = facts.feedback_address;
    if (facts.enterprise_user_mode == 1) {
        item(state, k_tray_item_enterprise_personal_reports).visible = false;
    } else {
        item(state, k_tray_item_enterprise_personal_reports).visible = true;
        hide(state, {k_tray_item_help, k_tray_item_dashboard, k_tray_item_enter_offline_time,
                     k_tray_item_take_survey, k_tray_item_preferences_start_at_login,
                     k_tray_item_check_for_updates, k_tray_item_preferences, k_tray_item_focus});
    }
    return state;
}

bool same_menu_facts(const menu_facts& a, const menu_facts& b) {
    const bool a_paused = a.pausing_allowed && a.paused;
    const bool b_paused = b.pausing_allowed && b.paused;
    return a.goto_dashboard_allowed == b.goto_dashboard_allowed &&
           a.offline_time_menu_allowed == b.offline_time_menu_allowed && a.quitting_allowed == b.quitting_allowed &&
           a.pausing_allowed == b.pausing_allowed && a.survey_available == b.survey_available &&
           a.paused == b.paused && (!a_paused || !b_paused || a.pause_seconds_left == b.pause_seconds_left) &&
           a.focus_session == b.focus_session &&
           (!a.focus_session || a.focus_seconds_left == b.focus_seconds_left) && a.enterprise == b.enterprise &&
           a.logging_enabled == b.logging_enabled && a.logging_allowed_now == b.logging_allowed_now &&
           a.feedback_address == b.feedback_address && a.enterprise_user_mode == b.enterprise_user_mode;
}

std::uint64_t apply_menu_state(const menu_state& state, system_tray_menu_interface& menu) {
    return menu.set_tray_items(state);
}

}  // namespace kes
