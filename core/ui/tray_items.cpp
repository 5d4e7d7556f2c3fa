#include "core/ui/tray_items.h"

#include <array>

namespace kes {

std::wstring tray_item_name(int id) {
    static const std::array<const wchar_t*, k_number_of_tray_items + 1> names = {
        L"k_tray_item_enterprise_logging_status | k_tray_item_begin",
        L"k_tray_item_enterprise_reports",
        L"k_tray_item_enterprise_learn_more",
        L"k_tray_item_enterprise_feedback",
        L"k_trak_item_separator_enterprise_personal",
        L"k_tray_item_enterprise_personal_reports",
        L"k_tray_item_separator_enterprise",
        L"k_tray_item_help",
        L"k_tray_item_separator_help",
        L"k_tray_item_dashboard",
        L"k_tray_item_goals_and_alerts",
        L"k_tray_item_enter_offline_time",
        L"k_tray_item_take_survey",
        L"k_tray_item_separator_actions",
        L"k_tray_item_separator_reports",
        L"k_tray_item_reports",
        L"k_tray_item_report_activities",
        L"k_tray_item_report_categories",
        L"k_tray_item_report_productivity",
        L"k_tray_item_report_highlights",
        L"k_tray_item_report_organization",
        L"k_tray_item_focus",
        L"k_tray_item_focus_for_15_minutes",
        L"k_tray_item_focus_for_30_minutes",
        L"k_tray_item_focus_for_60_minutes",
        L"k_tray_item_focus_for_120_minutes",
        L"k_tray_item_focus_until_tomorrow",
        L"k_tray_item_focus_for_custom",
        L"k_tray_item_focused_info",
        L"k_tray_item_pause",
        L"k_tray_item_pause_for_15_minutes",
        L"k_tray_item_pause_for_60_minutes",
        L"k_tray_item_pause_until_tomorrow",
        L"k_tray_item_paused_info",
        L"k_tray_item_unpause",
        L"k_tray_item_separator_pausing",
        L"k_tray_item_preferences",
        L"k_tray_item_preferences_account_settings",
        L"k_tray_item_preferences_privacy_settings",
        L"k_tray_item_preferences_start_at_login",
        L"k_tray_item_preferences_proxy_settings",
        L"k_tray_item_preferences_sign_out",
        L"k_tray_item_separator_start_at_login",
        L"k_tray_item_check_for_updates",
        L"k_tray_item_separator_quit",
        L"k_tray_item_quit",
        L"k_number_of_tray_items | k_tray_item_invalid",
    };
    if (id < 0 || id > k_number_of_tray_items) return L"unknown tray item";
    return names[static_cast<std::size_t>(id)];
}

}  // namespace kes
