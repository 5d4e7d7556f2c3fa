#pragma once
// Every persisted setting of the configuration store, declared once: its key
// in kestreld.json, the member that holds it, its default, its kind, when it
// is written and the rule the loader keeps. The defaults, the loader and the
// writer all walk this table; only the store's own files include it.
//
// Adding a setting: one row here (in the place its key takes in the file),
// its member, getter and setter in config.h.

#include "core/foundation/config.h"
#include "kes/build_config.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kes {

// The loader applies the kinds in this order, each in table order, so the
// lines about refused values come numbers first, then times, then lists.
enum class setting_kind { text, flag, number, time, last_time, duration, text_list, mirror_list };

enum class when_saved {
    always,
    never,                    // read from files and the service, never written back
    when_true,                // a switch that is written only while it is on
    with_team_key,            // the enterprise settings: only while a team key is set
    with_team_key_when_true,  // both of the above
    as_false,                 // whoever reads the file is past the first run
};

enum class number_rule {
    any,                   // stored as 32 bits
    never_negative,        // an interval: a negative one would wrap round to decades
    zero_or_one,           // the enterprise user mode: other values are refused and logged
    small_values_seconds,  // old files gave it in seconds: up to 9 is multiplied by 1000
};

struct config::setting {
    using member_pointer = std::variant<std::wstring config::*, std::atomic<bool> config::*,
                                        std::atomic<std::uint32_t> config::*, ptime config::*, time_duration config::*,
                                        std::vector<std::wstring> config::*, std::vector<mirrored_account> config::*>;

    const wchar_t* key;
    setting_kind kind;
    member_pointer member;
    const wchar_t* default_text = L"";
    std::uint32_t default_number = 0;  // a flag's default is 0 or 1
    bool defaults_to_now = false;      // a time: the moment the defaults are applied; else unset
    bool kept_by_defaults = false;     // filled at run time; the defaults leave it alone
    when_saved saved = when_saved::always;
    number_rule rule = number_rule::any;

    static constexpr setting text(const wchar_t* key, std::wstring config::*member, const wchar_t* initial = L"") {
        setting row{key, setting_kind::text, member};
        row.default_text = initial;
        return row;
    }
    static constexpr setting flag(const wchar_t* key, std::atomic<bool> config::*member, bool initial) {
        setting row{key, setting_kind::flag, member};
        row.default_number = initial ? 1 : 0;
        return row;
    }
    static constexpr setting number(const wchar_t* key, std::atomic<std::uint32_t> config::*member,
                                    std::uint32_t initial) {
        setting row{key, setting_kind::number, member};
        row.default_number = initial;
        return row;
    }
    static constexpr setting time(const wchar_t* key, ptime config::*member) {
        return setting{key, setting_kind::time, member};
    }
    // The time something last happened: unset reads and is written as the
    // start of 2001.
    static constexpr setting last_time(const wchar_t* key, ptime config::*member) {
        return setting{key, setting_kind::last_time, member};
    }
    static constexpr setting duration(const wchar_t* key, time_duration config::*member) {
        return setting{key, setting_kind::duration, member};
    }
    static constexpr setting text_list(const wchar_t* key, std::vector<std::wstring> config::*member) {
        return setting{key, setting_kind::text_list, member};
    }
    static constexpr setting mirror_list(const wchar_t* key, std::vector<mirrored_account> config::*member) {
        return setting{key, setting_kind::mirror_list, member};
    }

    constexpr setting saved_as(when_saved rule_for_saving) const {
        setting row = *this;
        row.saved = rule_for_saving;
        return row;
    }
    constexpr setting only(number_rule rule_for_loading) const {
        setting row = *this;
        row.rule = rule_for_loading;
        return row;
    }
    constexpr setting starting_now() const {
        setting row = *this;
        row.defaults_to_now = true;
        return row;
    }
    constexpr setting kept_by_the_defaults() const {
        setting row = *this;
        row.kept_by_defaults = true;
        return row;
    }
};

// Faults a new row could bring, refused when the table compiles.
namespace setting_checks {

constexpr bool same_text(const wchar_t* a, const wchar_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

template <class Row, std::size_t N>
constexpr bool each_key_once(const Row (&rows)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t j = i + 1; j < N; ++j) {
            if (same_text(rows[i].key, rows[j].key)) return false;
        }
    }
    return true;
}

// Each saving, loading and default rule means something for one kind only.
template <class Row, std::size_t N>
constexpr bool rules_fit_kinds(const Row (&rows)[N]) {
    for (const Row& row : rows) {
        const bool reads_the_switch = row.saved == when_saved::when_true ||
                                      row.saved == when_saved::with_team_key_when_true ||
                                      row.saved == when_saved::as_false;
        const bool is_list = row.kind == setting_kind::text_list || row.kind == setting_kind::mirror_list;
        if (reads_the_switch && row.kind != setting_kind::flag) return false;
        if (row.rule != number_rule::any && row.kind != setting_kind::number) return false;
        if (row.defaults_to_now && row.kind != setting_kind::time) return false;
        if (row.kept_by_defaults && !is_list) return false;
    }
    return true;
}

}  // namespace setting_checks

struct config::settings_table {
    using s = setting;
    // In the order the writer adds them to the settings file: moving a row
    // changes the bytes of every file written after.
    static constexpr setting rows[] = {
        s::text(L"account_key", &config::account_key_),
        s::text(L"data_key", &config::data_key_),
        s::text(L"enterprise_team_key", &config::enterprise_team_key_).saved_as(when_saved::with_team_key),
        s::number(L"enterprise_user_mode", &config::enterprise_user_mode_, 0)
            .only(number_rule::zero_or_one)
            .saved_as(when_saved::with_team_key),
        s::text(L"enterprise_feedback_url", &config::enterprise_feedback_url_).saved_as(when_saved::with_team_key),
        s::flag(L"enterprise_flag_for_uninstall", &config::enterprise_flag_for_uninstall_, false)
            .saved_as(when_saved::with_team_key_when_true),
        s::number(L"scan_interval", &config::scan_interval_, 1).only(number_rule::never_negative),
        s::number(L"scan_partial_split_interval", &config::scan_partial_split_interval_, 60)
            .only(number_rule::never_negative),
        s::number(L"push_interval", &config::push_interval_, 1800).only(number_rule::never_negative),
        s::number(L"push_initial_interval", &config::push_initial_interval_, 180).only(number_rule::never_negative),
        s::number(L"pull_interval", &config::pull_interval_, 300).only(number_rule::never_negative),
        s::number(L"pull_initial_interval", &config::pull_initial_interval_, 30).only(number_rule::never_negative),
        s::number(L"url_from_plugin_delay", &config::url_from_plugin_delay_, 1000)
            .only(number_rule::small_values_seconds),
        s::text(L"url", &config::url_, build::default_web_host),
        s::text(L"api_url", &config::api_url_, build::default_api_host),
        s::flag(L"auto_start", &config::auto_start_, true),
        s::flag(L"partial_scanning_enabled", &config::partial_scanning_enabled_, false),
        s::flag(L"check_updates", &config::check_updates_, true),
        s::last_time(L"last_update_check", &config::last_update_check_),
        s::last_time(L"last_successful_send", &config::last_successful_send_),
        s::text(L"proxy_server", &config::proxy_server_),
        s::text(L"proxy_port", &config::proxy_port_),
        s::text(L"proxy_username", &config::proxy_username_),
        s::text(L"proxy_password_hash", &config::proxy_password_hash_),
        s::flag(L"proxy_detect_enabled", &config::proxy_detect_enabled_, true),
        s::flag(L"logging_schedule_enabled", &config::logging_schedule_enabled_, false),
        s::number(L"logging_scheduled_days", &config::logging_scheduled_days_, 127),
        s::duration(L"logging_scheduled_start_hour", &config::logging_scheduled_start_hour_),
        s::duration(L"logging_scheduled_stop_hour", &config::logging_scheduled_stop_hour_),
        s::flag(L"logging_enabled", &config::logging_enabled_, true),
        s::flag(L"full_urls_enabled", &config::full_urls_enabled_, true),
        s::flag(L"window_titles_enabled", &config::window_titles_enabled_, true),
        s::flag(L"whitelist_enabled", &config::whitelist_enabled_, false),
        s::number(L"idle_time_start", &config::idle_time_start_, 300),
        s::number(L"idle_time_away", &config::idle_time_away_, 300),
        s::number(L"idle_activity_max_away", &config::idle_activity_max_away_, 14400),
        s::number(L"debug_log_level", &config::debug_log_level_, 1),
        s::flag(L"debug_log_send_enabled", &config::debug_log_send_enabled_, false),
        s::flag(L"disable_gui", &config::disable_gui_, false),
        s::flag(L"first_time_running", &config::first_time_running_, true).saved_as(when_saved::as_false),
        s::time(L"paused_until", &config::paused_until_).starting_now(),
        s::flag(L"timepie_enabled", &config::timepie_enabled_, false),
        s::flag(L"blocking_enabled", &config::blocking_enabled_, false).saved_as(when_saved::never),
        s::flag(L"pausing_allowed", &config::pausing_allowed_, true),
        s::flag(L"quitting_allowed", &config::quitting_allowed_, true),
        s::flag(L"focused_time_allowed", &config::focused_time_allowed_, true),
        s::flag(L"goto_dashboard_allowed", &config::goto_dashboard_allowed_, true),
        s::flag(L"log_idle_enabled", &config::log_idle_enabled_, false),
        s::number(L"firefox_level", &config::firefox_level_, 1),
        s::flag(L"first_grabber_enabled", &config::first_grabber_enabled_, true),
        s::flag(L"timepie_entry_required", &config::timepie_entry_required_, false),
        s::flag(L"survey_only_once", &config::survey_only_once_, true),
        s::flag(L"backup_log", &config::backup_log_, false),
        s::flag(L"offline_time_menu_allowed", &config::offline_time_menu_allowed_, false),
        s::text_list(L"whitelist", &config::whitelist_),
        s::mirror_list(L"mirrored_accounts", &config::mirrored_accounts_),
        s::text_list(L"timepie_labels", &config::timepie_labels_),
        // The puller fills it at every start.
        s::text_list(L"idle_activities", &config::idle_activities_).saved_as(when_saved::never).kept_by_the_defaults(),
        s::text_list(L"extended_domain_list", &config::extended_domain_list_),
        s::flag(L"corporate_network_workaround", &config::corporate_network_workaround_, false)
            .saved_as(when_saved::when_true),
    };
    static_assert(setting_checks::each_key_once(rows), "a key has one row");
    static_assert(setting_checks::rules_fit_kinds(rows), "a rule is given to a kind it does not apply to");

    // Every default, into a store whose data mutex the caller holds.
    static void apply_defaults(config& store, const ptime& now);
    // The settings present in `structure` with their accepted kind.
    static void load(config& store, const DynamicStructure& structure);
    // The settings file's document, taken under the data mutex.
    static DynamicStructure document(const config& store);
    static std::optional<setting_kind> kind_of(const std::wstring& key);

    // The time-something-last-happened getters read an unset time as this.
    static ptime or_never_set(const ptime& stored);

private:
    static void load_row(config& store, const setting& row, const DynamicStructure& structure);
    static bool is_written(const config& store, const setting& row);
    static DynamicStructure value_of(const config& store, const setting& row);
};

}  // namespace kes
