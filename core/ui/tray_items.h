#pragma once
// The ids of the status-menu items. Separators have ids of their own, so the
// UI logic can show and hide them like any item; 46 is both the number of ids
// and the id of the menu's root.

#include <string>

namespace kes {

enum tray_item : int {
    k_tray_item_begin = 0,
    k_tray_item_enterprise_logging_status = 0,
    k_tray_item_enterprise_reports = 1,
    k_tray_item_enterprise_learn_more = 2,
    k_tray_item_enterprise_feedback = 3,
    k_trak_item_separator_enterprise_personal = 4,
    k_tray_item_enterprise_personal_reports = 5,
    k_tray_item_separator_enterprise = 6,
    k_tray_item_help = 7,
    k_tray_item_separator_help = 8,
    k_tray_item_dashboard = 9,
    k_tray_item_goals_and_alerts = 10,
    k_tray_item_enter_offline_time = 11,
    k_tray_item_take_survey = 12,
    k_tray_item_separator_actions = 13,  // named, never added
    k_tray_item_separator_reports = 14,
    k_tray_item_reports = 15,
    k_tray_item_report_activities = 16,
    k_tray_item_report_categories = 17,
    k_tray_item_report_productivity = 18,
    k_tray_item_report_highlights = 19,
    k_tray_item_report_organization = 20,
    k_tray_item_focus = 21,
    k_tray_item_focus_for_15_minutes = 22,
    k_tray_item_focus_for_30_minutes = 23,
    k_tray_item_focus_for_60_minutes = 24,
    k_tray_item_focus_for_120_minutes = 25,
    k_tray_item_focus_until_tomorrow = 26,
    k_tray_item_focus_for_custom = 27,
    k_tray_item_focused_info = 28,
    k_tray_item_pause = 29,
    k_tray_item_pause_for_15_minutes = 30,
    k_tray_item_pause_for_60_minutes = 31,
    k_tray_item_pause_until_tomorrow = 32,
    k_tray_item_paused_info = 33,
    k_tray_item_unpause = 34,
    k_tray_item_separator_pausing = 35,
    k_tray_item_preferences = 36,
    k_tray_item_preferences_account_settings = 37,
    k_tray_item_preferences_privacy_settings = 38,
    k_tray_item_preferences_start_at_login = 39,
    k_tray_item_preferences_proxy_settings = 40,
    k_tray_item_preferences_sign_out = 41,  // named, never added
    k_tray_item_separator_start_at_login = 42,
    k_tray_item_check_for_updates = 43,
    k_tray_item_separator_quit = 44,
    k_tray_item_quit = 45,
    k_number_of_tray_items = 46,
    k_tray_item_invalid = 46,
};

// The enumerator name of an id (both names where two share it), for the
// debug log; "unknown tray item" for an id outside 0 to 46.
std::wstring tray_item_name(int id);

}  // namespace kes
