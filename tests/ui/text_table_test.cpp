#include "core/foundation/text_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kes {
namespace {

const std::vector<std::wstring> all_keys = {
    L"status_message_awaiting_activation", L"status_message_activating",
    L"status_message_activation_registering", L"status_message_activation_verifying",
    L"status_message_activation_verifying_page", L"status_message_activation_verifying_wait",
    L"status_message_activation_verifying_success", L"status_message_activation_incomplete",
    L"status_message_activation_invalid_email", L"status_message_activation_invalid_password",
    L"status_message_activation_cancelled", L"status_message_activation_timeout",
    L"status_message_activation_finishing", L"status_message_activation_finished",
    L"status_message_activation_success", L"status_message_fatal_error", L"status_message_corrupt_config",
    L"status_message_update_successful", L"status_message_is_paused", L"status_message_was_paused",
    L"status_message_disabled_by_admin", L"status_message_sent_data_at", L"status_message_reactivating",
    L"status_message_reactivation_success", L"status_error_contact_support",
    L"status_error_servers_unavailable", L"status_error_internet_unavailable", L"status_error_proxy_settings",
    L"status_error_connection_timeout", L"status_error_firewall_blocking", L"status_error_unable_to_resolve",
    L"status_error_invalid_response", L"status_error_unhandled_error", L"status_error_invalid_kescode",
    L"menu_item_help", L"menu_item_dashboard", L"menu_item_reports", L"menu_item_report_activities",
    L"menu_item_report_categories", L"menu_item_report_productivity", L"menu_item_report_highlights",
    L"menu_item_report_organization", L"menu_item_goals_and_alerts", L"menu_item_focus",
    L"menu_item_focus_15", L"menu_item_focus_30", L"menu_item_focus_60", L"menu_item_focus_120",
    L"menu_item_focus_tomorrow", L"menu_item_focus_custom", L"menu_item_preferences",
    L"menu_item_preferences_account_settings", L"menu_item_preferences_privacy_settings",
    L"menu_item_preferences_proxy_settings", L"menu_item_preferences_sign_out", L"menu_item_still_zone",
    L"menu_item_focused_mode", L"menu_item_focused_minutes_left", L"menu_item_offline_time",
    L"menu_item_survey", L"menu_item_pause", L"menu_item_pause_15", L"menu_item_pause_60",
    L"menu_item_pause_tomorrow", L"menu_item_pause_info_minutes_left", L"menu_item_pause_info_tomorrow",
    L"menu_item_unpause", L"menu_item_startup", L"menu_item_updates", L"menu_item_quit",
    L"menu_item_enterprise_logging_on", L"menu_item_enterprise_logging_off",
    L"menu_item_enterprise_logging_paused", L"menu_item_enterprise_start_reporting",
    L"menu_item_enterprise_stop_reporting", L"menu_item_enterprise_personal_reports",
    L"menu_item_enterprise_learn_more", L"menu_item_enterprise_feedback", L"download_extension_title",
    L"download_extension_promt", L"offline_time_what_doing", L"stillzone_alert_started_for",
    L"stillzone_alert_until_midnight", L"stillzone_alert_error_paused", L"stillzone_window_focus_for",
    L"stillzone_window_minutes", L"stillzone_window_description", L"stillzone_window_description_link",
    L"alert_message_pause_ended", L"status_error_unable_to_resolve_host",
    L"status_message_activation_two_factor_ended", L"stillzone_alert_error_not_started",
};

const std::vector<std::wstring> templates_with_one_placeholder = {
    L"status_message_sent_data_at", L"status_error_invalid_kescode", L"menu_item_focused_minutes_left",
    L"menu_item_pause_info_minutes_left", L"offline_time_what_doing", L"stillzone_alert_started_for",
    L"status_error_unable_to_resolve_host"};

TEST(TextTable, EveryKeyHasItsOwnText) {
    EXPECT_EQ(all_keys.size(), 92u);
    EXPECT_EQ(text_table_size(), all_keys.size());
    for (const auto& key : all_keys) {
        const std::wstring text = get_text(key);
        EXPECT_NE(text, key);
        EXPECT_FALSE(text.empty()) << std::string(key.begin(), key.end());
        const bool has_placeholder = text.find(L"%$%") != std::wstring::npos;
        const bool expected = std::find(templates_with_one_placeholder.begin(),
                                        templates_with_one_placeholder.end(),
                                        key) != templates_with_one_placeholder.end();
        EXPECT_EQ(has_placeholder, expected) << std::string(key.begin(), key.end());
    }
}

TEST(TextTable, TextsAreExactIncludingTheirDoubleSpaces) {
    EXPECT_EQ(get_text(L"status_message_activation_incomplete"),
              L"This computer has not yet been activated.  Enter your activation information and click Activate.");
    EXPECT_EQ(get_text(L"download_extension_promt"),
              L"A Kestrel browser extension is needed to collect website information from your browser.  Click "
              L"OK to download now.");
    EXPECT_EQ(get_text(L"menu_item_goals_and_alerts"), L"Goals & Alerts...");
    EXPECT_EQ(get_text(L"status_error_internet_unavailable"),
              L"Unable to connect to the internet. No data will be lost, we'll try again in 3 to 30 min.");
    EXPECT_EQ(get_text(L"status_message_fatal_error").rfind(L"Fatal error encountered! Kestrel may need to be "
                                                             L"restarted or re-installed. If this problem "
                                                             L"persists, go to https://", 0),
              0u);
}

TEST(TextTable, UnknownKeysComeBackUnchanged) {
    EXPECT_EQ(get_text(L"no_such_key"), L"no_such_key");
    EXPECT_EQ(get_text(L""), L"");
}

TEST(TextTable, FillsPlaceholders) {
    EXPECT_EQ(get_text_with_args(L"menu_item_pause_info_minutes_left", L"12", L"", L""), L"Paused for 12 minutes");
    EXPECT_EQ(get_text_with_args(L"offline_time_what_doing", L"9:15", L"", L""),
              L"What have you been doing since 9:15?");
    // An argument holding the placeholder is inserted as it is, never filled again.
    EXPECT_EQ(get_text_with_args(L"status_error_invalid_kescode", L"%$%", L"x", L"y"), L"Server reporting: %$%");
    EXPECT_EQ(get_text_with_args(L"menu_item_quit", L"x", L"y", L"z"), L"Quit Kestrel");
}

// Straightforward reference: split the template at its placeholders and join
// the pieces with the arguments, the fourth and later placeholders kept.
std::wstring reference_fill(const std::wstring& text, const std::wstring (&args)[3]) {
    std::vector<std::wstring> pieces;
    std::size_t from = 0;
    for (std::size_t hit; (hit = text.find(L"%$%", from)) != std::wstring::npos; from = hit + 3) {
        pieces.push_back(text.substr(from, hit - from));
    }
    pieces.push_back(text.substr(from));
    std::wstring out = pieces[0];
    for (std::size_t i = 1; i < pieces.size(); ++i) out += (i <= 3 ? args[i - 1] : L"%$%") + pieces[i];
    return out;
}

TEST(TextTable, FillingMatchesTheReferenceOnRandomTemplates) {
    // Unknown keys are their own templates, so random keys are random templates.
    std::mt19937 random(20240611);
    const std::wstring alphabet = L"%$ab\u00E9";
    const auto random_text = [&](std::size_t max_length) {
        std::wstring text;
        const std::size_t length = random() % (max_length + 1);
        for (std::size_t i = 0; i < length; ++i) {
            if (random() % 4 == 0) {
                text += L"%$%";
            } else {
                text += alphabet[random() % alphabet.size()];
            }
        }
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::wstring key = random_text(12);
        const std::wstring args[3] = {random_text(5), random_text(5), random_text(5)};
        ASSERT_EQ(get_text_with_args(key, args[0], args[1], args[2]), reference_fill(get_text(key), args))
            << "round " << round;
    }
}

}  // namespace
}  // namespace kes
