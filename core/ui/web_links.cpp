#include "core/ui/web_links.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

config& settings() { return config::instance(); }

bool is_web_address(const std::wstring& address) {
    const std::wstring lower = util::to_lower(address);
    return util::starts_with(lower, L"http://") || util::starts_with(lower, L"https://");
}

// "/enterprise/<page>?account_key=...&enterprise_team_key=...", no marker.
std::wstring enterprise_page_address(const wchar_t* page) {
    return web_page_address(std::wstring(L"/enterprise/") + page +
                                L"?account_key=" + util::url_escape(settings().get_account_key()) +
                                L"&enterprise_team_key=" + util::url_escape(settings().get_enterprise_team_key()),
                            false);
}

void open_page(ui& target, const wchar_t* path) { open_url(web_page_address(path), target); }

}  // namespace

std::wstring src_client_suffix(bool has_query) { return has_query ? L"&src=client" : L"?src=client"; }

std::wstring web_page_address(const std::wstring& path, bool with_marker) {
    std::wstring address = L"https://" + settings().get_url() + path;
    if (with_marker) address += src_client_suffix(path.find(L'?') != std::wstring::npos);
    return address;
}

std::wstring dashboard_page_address() { return web_page_address(L"/dashboard"); }

std::wstring monitoring_options_page_address() { return web_page_address(L"/accounts/monitoring_options"); }

std::wstring offline_time_page_address() {
    const boost::posix_time::ptime now = settings().local_now();
    // Whole seconds, in the extended ISO form: 2024-05-01T17:30:05.
    const boost::posix_time::ptime whole(now.date(), boost::posix_time::seconds(now.time_of_day().total_seconds()));
    return web_page_address(L"/offline_time?client_current_timestamp=" +
                            util::widen(boost::posix_time::to_iso_extended_string(whole)));
}

std::wstring offline_time_settings_page_address() { return web_page_address(L"/offline_time/settings"); }

bool open_url(const std::wstring& address, ui& target) {
    if (!is_web_address(address)) {
        log(L"[web_links:open_url] Refusing to open an address that is not http or https: " + address,
            log_level::error);
        return false;
    }
    target.ux_open_url(address);
    return true;
}

void open_dashboard_page(ui& target) { open_url(dashboard_page_address(), target); }
void open_activity_report_page(ui& target) { open_page(target, L"/browse/activity/by/rank"); }
void open_overview_report_page(ui& target) { open_page(target, L"/browse/overview/by/rank"); }
void open_productivity_report_page(ui& target) { open_page(target, L"/browse/productivity/by/rank"); }
void open_highlights_page(ui& target) { open_page(target, L"/browse/highlights"); }
void open_organization_summary_page(ui& target) { open_page(target, L"/organization/summary"); }
void open_goals_page(ui& target) { open_page(target, L"/browse/goals/by/day"); }
void open_users_settings_page(ui& target) { open_page(target, L"/users/settings"); }
void open_monitoring_options_page(ui& target) { open_url(monitoring_options_page_address(), target); }
void open_offline_time_page(ui& target) { open_url(offline_time_page_address(), target); }
void open_offline_time_settings_page(ui& target) { open_url(offline_time_settings_page_address(), target); }
void open_still_zone_settings_page(ui& target) { open_page(target, L"/settings/stillzone"); }

void open_quickhelp_page(const std::wstring& support_info, ui& target) {
    // The diagnostic text holds line ends, blanks and whatever the status
    // line said: escaped, it stays one query value.
    open_url(web_page_address(L"/quickhelp?support_info=" + util::url_escape(support_info)), target);
}

void open_enterprise_opt_in_page(ui& target) { open_url(enterprise_page_address(L"opt_in"), target); }
void open_enterprise_opt_out_page(ui& target) { open_url(enterprise_page_address(L"opt_out"), target); }
void open_enterprise_personal_reports_page(ui& target) {
    open_url(enterprise_page_address(L"enable_personal_reports"), target);
}
void open_enterprise_learn_more_page(ui& target) { open_url(enterprise_page_address(L"learn_more"), target); }
void open_enterprise_feedback_page(ui& target) { open_url(settings().get_enterprise_feedback_url(), target); }

void open_survey_page(ui& target) {
    open_url(settings().get_survey_url(), target);
    if (settings().get_survey_only_once()) settings().set_survey_url(L"");
}

}  // namespace kes
