// Prints what the agent would send a user or a browser to, as one JSON
// object on stdout, for the end-to-end scripts to take apart:
//
//   kes_links_probe pages SETTINGS_JSON
//       every web page the agent opens, by operation name, built from the
//       settings given ("url", "api_url", "account_key",
//       "enterprise_team_key", "support_info")
//   kes_links_probe block SETTINGS_JSON
//       for each of "addresses", whether a focus session with the given
//       "blocked_items" and "extended_domain_list" blocks it, and the block
//       page it is sent to; with the service's own domain
#include "core/capture/extended_info_grabber.h"
#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "core/ui/web_links.h"
#include "kes/build_config.h"
#include "tests/support/recording_ui.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

std::string utf8(const std::wstring& text) { return kes::util::wstring_to_utf8_lossy(text); }
std::wstring wide(const std::string& text) { return kes::util::utf8_to_wstring(text); }

std::vector<std::wstring> wide_list(const json& items) {
    std::vector<std::wstring> list;
    for (const auto& item : items) list.push_back(wide(item.get<std::string>()));
    return list;
}

json pages(const json& given) {
    kes::config& settings = kes::config::instance();
    settings.set_url(wide(given.value("url", "")));
    settings.set_api_url(wide(given.value("api_url", "")));
    settings.set_account_key(wide(given.value("account_key", "")));
    settings.set_enterprise_team_key(wide(given.value("enterprise_team_key", "")));
    const std::wstring support_info = wide(given.value("support_info", ""));

    using namespace kes;
    const std::vector<std::pair<const char*, std::function<void(ui&)>>> openers = {
        {"setup_done", [](ui& u) { open_setup_done_page(u); }},
        {"dashboard", [](ui& u) { open_dashboard_page(u); }},
        {"activity_report", [](ui& u) { open_activity_report_page(u); }},
        {"overview_report", [](ui& u) { open_overview_report_page(u); }},
        {"productivity_report", [](ui& u) { open_productivity_report_page(u); }},
        {"highlights", [](ui& u) { open_highlights_page(u); }},
        {"organization_summary", [](ui& u) { open_organization_summary_page(u); }},
        {"goals", [](ui& u) { open_goals_page(u); }},
        {"users_settings", [](ui& u) { open_users_settings_page(u); }},
        {"monitoring_options", [](ui& u) { open_monitoring_options_page(u); }},
        {"release_notes", [](ui& u) { open_release_notes_page(u); }},
        {"offline_time", [](ui& u) { open_offline_time_page(u); }},
        {"offline_time_settings", [](ui& u) { open_offline_time_settings_page(u); }},
        {"monthly_productivity", [](ui& u) { open_monthly_productivity_page(u); }},
        {"still_zone_settings", [](ui& u) { open_still_zone_settings_page(u); }},
        {"alerts", [](ui& u) { open_alerts_page(u); }},
        {"download", [](ui& u) { open_download_page(u); }},
        {"browser_plugin", [](ui& u) { open_browser_plugin_page(u); }},
        {"signup", [](ui& u) { open_signup_page(u); }},
        {"forgot_password", [](ui& u) { open_forgot_password_page(u); }},
        {"quickhelp", [&](ui& u) { open_quickhelp_page(support_info, u); }},
        {"enterprise_opt_in", [](ui& u) { open_enterprise_opt_in_page(u); }},
        {"enterprise_opt_out", [](ui& u) { open_enterprise_opt_out_page(u); }},
        {"enterprise_personal_reports", [](ui& u) { open_enterprise_personal_reports_page(u); }},
        {"enterprise_learn_more", [](ui& u) { open_enterprise_learn_more_page(u); }},
    };
    kes::testing::recording_ui user_interface;
    json answer = json::object();
    for (const auto& [name, open] : openers) {
        const std::size_t before = user_interface.opened_urls().size();
        open(user_interface);
        const auto opened = user_interface.opened_urls();
        answer[name] = opened.size() == before + 1 ? json(utf8(opened.back())) : json(nullptr);
    }
    answer["block_page"] = utf8(block_page_address(wide(given.value("blocked_address", ""))));
    answer["api_host"] = utf8(get_api_host());
    answer["today"] = boost::gregorian::to_iso_extended_string(settings.local_now().date());
    return answer;
}

json block(const json& given) {
    kes::config& settings = kes::config::instance();
    settings.set_url(wide(given.value("url", "")));
    settings.set_blocked_items(wide_list(given.value("blocked_items", json::array())));
    settings.set_extended_domain_list(wide_list(given.value("extended_domain_list", json::array())));
    settings.set_blocking_until(settings.local_now() + boost::posix_time::minutes(25));

    const kes::null_extended_info_grabber link;
    json results = json::array();
    for (const auto& address : given.value("addresses", json::array())) {
        std::wstring redirect;
        const bool blocked = link.is_url_blocked(wide(address.get<std::string>()), redirect);
        results.push_back({{"address", address}, {"blocked", blocked}, {"redirect", utf8(redirect)}});
    }
    return {{"service_domain", utf8(kes::build::service_domain)}, {"results", results}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: kes_links_probe pages|block SETTINGS_JSON\n";
        return 2;
    }
    const std::string mode = argv[1];
    const json given = json::parse(argv[2]);
    if (mode == "pages") {
        std::cout << pages(given).dump() << '\n';
    } else if (mode == "block") {
        std::cout << block(given).dump() << '\n';
    } else {
        std::cerr << "unknown mode " << mode << '\n';
        return 2;
    }
    return 0;
}
