#include "core/foundation/text_table.h"

#include "kes/build_config.h"

#include <array>
#include <unordered_map>

namespace kes {
namespace {

constexpr std::wstring_view placeholder = L"%$%";

std::wstring web_address(const wchar_t* path) {
    return std::wstring(L"https://") + build::default_web_host + path;
}

std::wstring unable_to_resolve(std::wstring_view host) {
    return L"Unable to resolve " + std::wstring(host) + L". Potential DNS issue.";
}

// Built once, on first use from any thread, and only read afterwards.
const std::unordered_map<std::wstring, std::wstring>& table() {
    static const std::unordered_map<std::wstring, std::wstring> texts = {
        {L"status_message_awaiting_activation", L"Waiting for you to Activate"},
        {L"status_message_activating", L"Activating this computer..."},
        {L"status_message_activation_registering", L"Registering computer..."},
        {L"status_message_activation_verifying", L"Verifying this computer..."},
        {L"status_message_activation_verifying_page", L"Opening verification page..."},
        {L"status_message_activation_verifying_wait", L"Waiting for you to verify on the webpage..."},
        {L"status_message_activation_verifying_success", L"Verification successful!"},
        {L"status_message_activation_incomplete",
         L"This computer has not yet been activated.  Enter your activation information and click Activate."},
        {L"status_message_activation_invalid_email", L"Missing or bad email"},
        {L"status_message_activation_invalid_password", L"Missing or invalid password"},
        {L"status_message_activation_cancelled", L"Activation cancelled on website. Please try again."},
        {L"status_message_activation_timeout", L"Activation timed out. Please try again."},
        {L"status_message_activation_finishing", L"Activation successful! Finishing up..."},
        {L"status_message_activation_finished", L"Kestrel has been activated."},
        {L"status_message_activation_success",
         L"Activation Successful. Awaiting status update. This typically takes less than 3 minutes."},
        {L"status_message_fatal_error",
         L"Fatal error encountered! Kestrel may need to be restarted or re-installed. If this problem "
         L"persists, go to " + web_address(L"/help")},
        {L"status_message_corrupt_config", L"Error reading configuration - resetting to default"},
        {L"status_message_update_successful", L"Checking for updates successful. Finishing up..."},
        {L"status_message_is_paused", L"Kestrel is paused or not enabled due to a logging schedule."},
        {L"status_message_was_paused", L"Kestrel is now logging, status will update shortly."},
        {L"status_message_disabled_by_admin", L"Kestrel has been disabled by the account administrator."},
        {L"status_message_sent_data_at", L"Successfully sent data at %$%"},
        {L"status_message_reactivating", L"Reactivating this computer..."},
        {L"status_message_reactivation_success", L"Reactivation successful!"},
        {L"status_error_contact_support", L"Problem sending log data, please contact Kestrel Support."},
        {L"status_error_servers_unavailable",
         L"Servers unavailable - we'll be back shortly. None of your data will be lost."},
        {L"status_error_internet_unavailable",
         L"Unable to connect to the internet. No data will be lost, we'll try again in 3 to 30 min."},
        {L"status_error_proxy_settings",
         L"Proxy Error! Check proxy settings (" + web_address(L"/help/proxy") + L" for help)"},
        {L"status_error_connection_timeout",
         L"Connection timeout to the Kestrel servers. This could indicate a Proxy or Firewall configuration "
         L"problem."},
        {L"status_error_firewall_blocking",
         L"Could not connect to the Kestrel servers. Your Firewall hardware or software is likely blocking "
         L"Kestrel."},
        {L"status_error_unable_to_resolve", unable_to_resolve(build::default_api_host)},
        {L"status_error_invalid_response", L"Invalid response while communicating with the Kestrel server."},
        {L"status_error_unhandled_error", L"Problem with network, please contact Kestrel Support."},
        {L"status_error_invalid_kescode", L"Server reporting: %$%"},
        {L"menu_item_help", L"Help..."},
        {L"menu_item_dashboard", L"Go to Dashboard..."},
        {L"menu_item_reports", L"Reports"},
        {L"menu_item_report_activities", L"Activities"},
        {L"menu_item_report_categories", L"Categories"},
        {L"menu_item_report_productivity", L"Productivity"},
        {L"menu_item_report_highlights", L"Highlights"},
        {L"menu_item_report_organization", L"Your Organization"},
        {L"menu_item_goals_and_alerts", L"Goals & Alerts..."},
        {L"menu_item_focus", L"Start Stillzone"},
        {L"menu_item_focus_15", L"For 15 minutes"},
        {L"menu_item_focus_30", L"For 30 minutes"},
        {L"menu_item_focus_60", L"For 1 hour"},
        {L"menu_item_focus_120", L"For 2 hours"},
        {L"menu_item_focus_tomorrow", L"Until tomorrow"},
        {L"menu_item_focus_custom", L"Custom..."},
        {L"menu_item_preferences", L"Preferences"},
        {L"menu_item_preferences_account_settings", L"Account & billing settings..."},
        {L"menu_item_preferences_privacy_settings", L"Privacy & schedule settings..."},
        {L"menu_item_preferences_proxy_settings", L"Proxy settings for this device"},
        {L"menu_item_preferences_sign_out", L"Sign out this device"},
        {L"menu_item_still_zone", L"Start Stillzone..."},
        {L"menu_item_focused_mode", L"Focused Mode"},
        {L"menu_item_focused_minutes_left", L"Focused for %$% minutes"},
        {L"menu_item_offline_time", L"Enter OfflineTime..."},
        {L"menu_item_survey", L"Take Survey..."},
        {L"menu_item_pause", L"Pause"},
        {L"menu_item_pause_15", L"Pause for 15 minutes"},
        {L"menu_item_pause_60", L"Pause for 1 hour"},
        {L"menu_item_pause_tomorrow", L"Pause until tomorrow"},
        {L"menu_item_pause_info_minutes_left", L"Paused for %$% minutes"},
        {L"menu_item_pause_info_tomorrow", L"Paused until midnight"},
        {L"menu_item_unpause", L"Unpause"},
        {L"menu_item_startup", L"Start at Login"},
        {L"menu_item_updates", L"Check for Updates..."},
        {L"menu_item_quit", L"Quit Kestrel"},
        {L"menu_item_enterprise_logging_on", L"Activity Logging: On"},
        {L"menu_item_enterprise_logging_off", L"Activity Logging: Off"},
        {L"menu_item_enterprise_logging_paused", L"Activity Logging: Paused"},
        {L"menu_item_enterprise_start_reporting", L"Start Kestrel..."},
        {L"menu_item_enterprise_stop_reporting", L"Stop Kestrel..."},
        {L"menu_item_enterprise_personal_reports", L"Turn On Personal Reports..."},
        {L"menu_item_enterprise_learn_more", L"Learn More..."},
        {L"menu_item_enterprise_feedback", L"Feedback..."},
        {L"download_extension_title", L"Kestrel Browser Extension"},
        {L"download_extension_promt",
         L"A Kestrel browser extension is needed to collect website information from your browser.  Click "
         L"OK to download now."},
        {L"offline_time_what_doing", L"What have you been doing since %$%?"},
        {L"stillzone_alert_started_for", L"Stillzone session started for %$% minutes."},
        {L"stillzone_alert_until_midnight", L"Stillzone session started until midnight."},
        {L"stillzone_alert_error_paused", L"Stillzone not started because Kestrel is paused."},
        {L"stillzone_window_focus_for", L"Focus for"},
        {L"stillzone_window_minutes", L"minutes"},
        {L"stillzone_window_description", L"to configure your blocking settings."},
        {L"stillzone_window_description_link", L"Click here"},
        {L"alert_message_pause_ended", L"Kestrel is now unpaused."},
        {L"status_error_unable_to_resolve_host", unable_to_resolve(placeholder)},
        {L"status_message_activation_two_factor_ended",
         L"That code was refused too many times, so the sign-in has ended. Please sign in again."},
        {L"stillzone_alert_error_not_started",
         L"Stillzone not started because the Kestrel servers did not confirm it. Please try again."},
    };
    return texts;
}

}  // namespace

std::wstring get_text(const std::wstring& key) {
    const auto& texts = table();
    const auto found = texts.find(key);
    return found == texts.end() ? key : found->second;
}

std::wstring get_text_with_args(const std::wstring& key, const std::wstring& a1, const std::wstring& a2,
                                const std::wstring& a3) {
    // Only the template is searched: an argument that itself holds the
    // placeholder goes in as it is.
    const std::wstring text = get_text(key);
    const std::array<const std::wstring*, 3> arguments{&a1, &a2, &a3};
    std::wstring out;
    std::size_t from = 0;
    for (const std::wstring* argument : arguments) {
        const std::size_t hit = text.find(placeholder, from);
        if (hit == std::wstring::npos) break;
        out.append(text, from, hit - from);
        out.append(*argument);
        from = hit + placeholder.size();
    }
    out.append(text, from, std::wstring::npos);
    return out;
}

std::size_t text_table_size() { return table().size(); }

}  // namespace kes
