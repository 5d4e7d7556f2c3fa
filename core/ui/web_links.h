#pragma once
// The pages of the web service the agent sends the user to. An address is
// "https://" + the configured web host (setting `url`) + a path, marked as
// coming from the client with "?src=client" (or "&src=client" after a query).
// Settings are read when an address is built. Values from settings that go
// into a query (account and team keys) are percent-escaped, so a `&`, `#` or
// space in them cannot change the address. Pages open through the UI's
// `ux_open_url`; only http and https addresses are ever handed to it.

#include "core/ui/ui.h"

#include <string>

namespace kes {

std::wstring src_client_suffix(bool has_query);

// "https://" + `url` + path, with the source marker when asked for.
std::wstring web_page_address(const std::wstring& path, bool with_marker = true);

std::wstring dashboard_page_address();
std::wstring monitoring_options_page_address();
std::wstring offline_time_page_address();  // carries the local time now
std::wstring offline_time_settings_page_address();

// Hands an http or https address to the UI; anything else is logged and
// refused (false).
bool open_url(const std::wstring& address, ui& target = *ui::get_instance());

void open_dashboard_page(ui& target = *ui::get_instance());
void open_activity_report_page(ui& target = *ui::get_instance());
void open_overview_report_page(ui& target = *ui::get_instance());
void open_productivity_report_page(ui& target = *ui::get_instance());
void open_highlights_page(ui& target = *ui::get_instance());
void open_organization_summary_page(ui& target = *ui::get_instance());
void open_goals_page(ui& target = *ui::get_instance());
void open_users_settings_page(ui& target = *ui::get_instance());
void open_monitoring_options_page(ui& target = *ui::get_instance());
void open_offline_time_page(ui& target = *ui::get_instance());
void open_offline_time_settings_page(ui& target = *ui::get_instance());
void open_still_zone_settings_page(ui& target = *ui::get_instance());
// The help page, told the diagnostic text (percent-escaped into its query).
void open_quickhelp_page(const std::wstring& support_info, ui& target = *ui::get_instance());

// Enterprise pages carry the account and team keys and no source marker.
void open_enterprise_opt_in_page(ui& target = *ui::get_instance());
void open_enterprise_opt_out_page(ui& target = *ui::get_instance());
void open_enterprise_personal_reports_page(ui& target = *ui::get_instance());
void open_enterprise_learn_more_page(ui& target = *ui::get_instance());
// `enterprise_feedback_url`, opened as stored.
void open_enterprise_feedback_page(ui& target = *ui::get_instance());

// The survey address the configuration holds, opened as stored; a survey
// meant to be taken once is then forgotten.
void open_survey_page(ui& target = *ui::get_instance());

}  // namespace kes
