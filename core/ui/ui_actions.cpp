// The status menu's actions: web pages, focus sessions, pausing, the
// preferences, the login item, update checks and quitting.
#include "core/ui/ui.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/ui/web_links.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

void log_action(const wchar_t* line) { log(line, log_level::error); }

}  // namespace

void ui::pause_for(const wchar_t* log_line, const wchar_t* notice, const boost::posix_time::ptime& until) {
    log_action(log_line);
    if (!configuration_->get_pausing_allowed()) {
        log_action(L"[ui:on_menu_action] Pausing is not allowed for this account; nothing done.");
        return;
    }
    configuration_->push_status_message(notice);
    configuration_->set_paused_until(until);
}

void ui::on_menu_action(int item_id) {
    using boost::posix_time::seconds;
    system_tray_menu_interface* menu = get_tray_menu();
    const boost::posix_time::ptime now = configuration_->local_now();
    switch (item_id) {
        case k_tray_item_enterprise_reports:
            if (configuration_->get_logging_enabled()) {
                open_enterprise_opt_out_page(*this);
            } else {
                open_enterprise_opt_in_page(*this);
            }
            break;
        case k_tray_item_enterprise_learn_more:
            open_enterprise_learn_more_page(*this);
            break;
        case k_tray_item_enterprise_feedback:
            open_enterprise_feedback_page(*this);
            break;
        case k_tray_item_enterprise_personal_reports:
            open_enterprise_personal_reports_page(*this);
            break;
        case k_tray_item_help:
            log_action(L"User Action] Open Help Window.");
            go_to_help();
            break;
        case k_tray_item_dashboard:
            log_action(L"[User Action] Open Dashboard page.");
            open_dashboard_page(*this);
            break;
        case k_tray_item_goals_and_alerts:
            log_action(L"[User Action] Open Goals and Alerts page.");
            open_goals_page(*this);
            break;
        case k_tray_item_enter_offline_time:
            log_action(L"[User Action] Open Enter OfflineTime page.");
            open_offline_time_page(*this);
            break;
        case k_tray_item_take_survey:
            log_action(L"[User Action] Open Take Survey page.");
            open_survey_page(*this);
            break;
        case k_tray_item_report_activities:
            log_action(L"[User Action] Open Activities Report page.");
            open_activity_report_page(*this);
            break;
        case k_tray_item_report_categories:
            log_action(L"[User Action] Open Categories Report page.");
            open_overview_report_page(*this);
            break;
        case k_tray_item_report_productivity:
            log_action(L"[User Action] Open Productivity Report page.");
            open_productivity_report_page(*this);
            break;
        case k_tray_item_report_highlights:
            log_action(L"[User Action] Open Highlights Report page.");
            open_highlights_page(*this);
            break;
        case k_tray_item_report_organization:
            log_action(L"[User Action] Open Organization Report page.");
            open_organization_summary_page(*this);
            break;
        case k_tray_item_focus_for_15_minutes:
            log_action(L"[User Action] Starting a 15 minute Stillzone session.");
            request_focus_session(15);
            break;
        case k_tray_item_focus_for_30_minutes:
            log_action(L"[User Action] Starting a 30 minute Stillzone session.");
            request_focus_session(30);
            break;
        case k_tray_item_focus_for_60_minutes:
            log_action(L"[User Action] Starting a 1 hour Stillzone session.");
            request_focus_session(60);
            break;
        case k_tray_item_focus_for_120_minutes:
            log_action(L"[User Action] Starting a 2 hour Stillzone session.");
            request_focus_session(120);
            break;
        case k_tray_item_focus_until_tomorrow:
            log_action(L"[User Action] Starting a Stillzone session until midnight.");
            request_focus_session(-1);
            break;
        case k_tray_item_focus_for_custom:
            log_action(L"[User Action] Open Stillzone window.");
            show_still_zone_window();
            break;
        case k_tray_item_pause_for_15_minutes:
            pause_for(L"[User Action] Pausing for 15 minutes.", L"Kestrel will now pause for 15 minutes.",
                      now + seconds(900));
            break;
        case k_tray_item_pause_for_60_minutes:
            pause_for(L"[User Action] Pausing for 60 minutes.", L"Kestrel will now pause for 60 minutes.",
                      now + seconds(3600));
            break;
        case k_tray_item_pause_until_tomorrow:
            pause_for(L"[User Action] Pausing until midnight.", L"Kestrel will now pause until tomorrow.",
                      boost::posix_time::ptime(now.date() + boost::gregorian::days(1)));
            break;
        case k_tray_item_unpause:
            log_action(L"[User Action] Unpausing Kestrel.");
            configuration_->set_paused_until(now - seconds(1));
            break;
        case k_tray_item_preferences_account_settings:
            log_action(L"User Action] Open Settings for Account & Billing page.");
            open_users_settings_page(*this);
            break;
        case k_tray_item_preferences_privacy_settings:
            log_action(L"User Action] Open Settings for Privacy & Schedule page.");
            open_monitoring_options_page(*this);
            break;
        case k_tray_item_preferences_start_at_login: {
            const bool starts_at_login = ux_toggle_start_at_login();
            log(std::wstring(L"[User Action] Toggle Start At Login...  Now: ") + (starts_at_login ? L"1" : L"0"),
                log_level::error);
            if (menu) menu->set_tray_item_checked(k_tray_item_preferences_start_at_login, starts_at_login);
            break;
        }
        case k_tray_item_preferences_proxy_settings:
            log_action(L"User Action] Open panel for proxy settings.");
            show_preferences_window();
            break;
        case k_tray_item_preferences_sign_out:
            log_action(L"[User Action] Requesting to Sign-out of this device");
            if (ask_confirmation(L"Do you really want to sign-out?", L"Kestrel")) {
                log_action(L"[User Action] Confirmed request to Sign-out.");
                reset_configuration();
            }
            break;
        case k_tray_item_check_for_updates:
            log_action(L"[User Action] Checking for updates...");
            configuration_->set_update_check_requested(true);
            break;
        case k_tray_item_quit:
            log_action(L"[User Action] Quitting Kestrel from the menu.");
            quit();
            break;
        default:
            log_action(L"Kestrel Error: Unhandled menu action!");
            break;
    }
}

}  // namespace kes
