#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "tests/support/test_environment.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kes {
namespace {

using nlohmann::json;

json utf8(const std::wstring& text) { return util::wstring_to_utf8_lossy(text); }
std::wstring wide(const json& text) { return util::utf8_to_wstring(text.get<std::string>()); }

json texts(const std::vector<std::wstring>& items) {
    json out = json::array();
    for (const auto& item : items) out.push_back(utf8(item));
    return out;
}
std::vector<std::wstring> texts(const json& items) {
    std::vector<std::wstring> out;
    for (const auto& item : items) out.push_back(wide(item));
    return out;
}
json mirrors(const std::vector<mirrored_account>& accounts) {
    json out = json::array();
    for (const auto& account : accounts) {
        out.push_back({{"url", utf8(account.url)}, {"account_key", utf8(account.account_key)}});
    }
    return out;
}
std::vector<mirrored_account> mirrors(const json& accounts) {
    std::vector<mirrored_account> out;
    for (const auto& account : accounts) out.push_back({wide(account.at("url")), wide(account.at("account_key"))});
    return out;
}
json time_text(const boost::posix_time::ptime& time) { return boost::posix_time::to_simple_string(time); }
json time_text(const boost::posix_time::time_duration& time) { return boost::posix_time::to_simple_string(time); }

// One setting seen from outside: its key, a value other than its default in
// the file's own form, and its getter and setter.
struct setting_case {
    const char* key;
    json value;
    std::function<json(const config&)> get;
    std::function<void(config&, const json&)> set;
};

#define KES_CASE(name, value, to_json, from_json)                                            \
    setting_case{#name, value, [](const config& c) { return json(to_json(c.get_##name())); }, \
                 [](config& c, const json& v) { c.set_##name(from_json); }}
#define KES_TEXT(name, value) KES_CASE(name, value, utf8, wide(v))
#define KES_FLAG(name, value) KES_CASE(name, value, , v.get<bool>())
#define KES_NUMBER(name, value) KES_CASE(name, value, , v.get<std::uint32_t>())
#define KES_TIME(name, value) \
    KES_CASE(name, value, time_text, boost::posix_time::time_from_string(v.get<std::string>()))
#define KES_DURATION(name, value) \
    KES_CASE(name, value, time_text, boost::posix_time::duration_from_string(v.get<std::string>()))
#define KES_TEXTS(name, value) KES_CASE(name, value, texts, texts(v))

const std::vector<setting_case>& every_setting() {
    static const std::vector<setting_case> cases = {
        KES_TEXT(account_key, "ak"),
        KES_TEXT(data_key, "dk"),
        KES_TEXT(enterprise_team_key, "other team"),
        KES_TEXT(enterprise_feedback_url, "feedback.local"),
        KES_NUMBER(enterprise_user_mode, 1),
        KES_FLAG(enterprise_flag_for_uninstall, true),
        KES_NUMBER(scan_interval, 2),
        KES_NUMBER(scan_partial_split_interval, 3),
        KES_FLAG(partial_scanning_enabled, true),
        KES_NUMBER(push_interval, 4),
        KES_NUMBER(push_initial_interval, 5),
        KES_NUMBER(pull_interval, 6),
        KES_NUMBER(pull_initial_interval, 7),
        KES_NUMBER(url_from_plugin_delay, 2500),
        KES_TEXT(url, "web.local"),
        KES_TEXT(api_url, "api.local"),
        KES_FLAG(corporate_network_workaround, true),
        KES_FLAG(auto_start, false),
        KES_FLAG(check_updates, false),
        KES_TIME(last_update_check, "2024-Mar-05 14:30:00"),
        KES_TIME(last_successful_send, "2024-Mar-06 15:31:01"),
        KES_TEXT(proxy_server, "proxy.local"),
        KES_TEXT(proxy_port, "3128"),
        KES_TEXT(proxy_username, "ann"),
        KES_TEXT(proxy_password_hash, "secret"),
        KES_FLAG(proxy_detect_enabled, false),
        KES_FLAG(logging_schedule_enabled, true),
        KES_NUMBER(logging_scheduled_days, 62),
        KES_DURATION(logging_scheduled_start_hour, "08:15:00"),
        KES_DURATION(logging_scheduled_stop_hour, "17:45:00"),
        KES_FLAG(logging_enabled, false),
        KES_FLAG(full_urls_enabled, false),
        KES_FLAG(window_titles_enabled, false),
        KES_FLAG(whitelist_enabled, true),
        KES_NUMBER(idle_time_start, 8),
        KES_NUMBER(idle_time_away, 9),
        KES_NUMBER(idle_activity_max_away, 10),
        KES_NUMBER(debug_log_level, 3),
        KES_FLAG(debug_log_send_enabled, true),
        KES_FLAG(disable_gui, true),
        KES_FLAG(first_time_running, false),
        KES_TIME(paused_until, "2031-Dec-24 18:00:00"),
        KES_FLAG(timepie_enabled, true),
        KES_FLAG(blocking_enabled, true),
        KES_FLAG(pausing_allowed, false),
        KES_FLAG(quitting_allowed, false),
        KES_FLAG(focused_time_allowed, false),
        KES_FLAG(goto_dashboard_allowed, false),
        KES_FLAG(log_idle_enabled, true),
        KES_NUMBER(firefox_level, 11),
        KES_FLAG(first_grabber_enabled, false),
        KES_FLAG(timepie_entry_required, true),
        KES_FLAG(survey_only_once, false),
        KES_FLAG(backup_log, true),
        KES_FLAG(offline_time_menu_allowed, true),
        KES_TEXTS(whitelist, json({"w1", "w2"})),
        KES_CASE(mirrored_accounts, json::array({{{"url", "m.local"}, {"account_key", "mk"}}}), mirrors, mirrors(v)),
        KES_TEXTS(timepie_labels, json({"label"})),
        KES_TEXTS(idle_activities, json({"lunch"})),
        KES_TEXTS(extended_domain_list, json({"e.local"})),
    };
    return cases;
}

json saved_file() { return json::parse(testing::read_file(system::create()->get_config_json_path())); }

// A setting whose key, member, getter and setter do not all agree moves
// another setting's value, or loses its own, without any other sign.
TEST(ConfigSettingsTable, EachSettingMovesOnlyItsOwnValueThroughTheFileTheLoaderAndItsSetter) {
    config& store = config::instance();
    // Written with a constant value whatever the store holds, or never written.
    const std::set<std::string> not_written_as_held = {"first_time_running", "blocking_enabled", "idle_activities"};
    for (const setting_case& setting : every_setting()) {
        for (const bool through_setter : {false, true}) {
            SCOPED_TRACE(std::string(setting.key) + (through_setter ? " through its setter" : " from a file"));
            store.set_defaults();
            // With a team key the enterprise settings are written too.
            store.set_enterprise_team_key(L"team");
            json expected = saved_file();
            if (through_setter) {
                setting.set(store, setting.value);
            } else {
                store.load(DynamicStructureFromJsonText(json{{setting.key, setting.value}}.dump()));
            }
            store.save();
            EXPECT_EQ(setting.get(store), setting.value);
            if (not_written_as_held.count(setting.key) == 0) expected[setting.key] = setting.value;
            EXPECT_EQ(saved_file(), expected);
        }
    }
    store.set_defaults();
    store.set_idle_activities({});
}

}  // namespace
}  // namespace kes
