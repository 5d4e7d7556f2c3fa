#pragma once
// The process-wide configuration store: every persisted setting (each with
// its key, default and file rules in one row of config_settings_table.h),
// the runtime values threads share, and the policies built on them.
// Shared by every thread: numbers and flags are atomics, everything else is
// guarded by one data mutex and handed out as a copy.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kes {

class DynamicStructure;
class activation_service;

struct mirrored_account {
    std::wstring url;
    std::wstring account_key;
    bool operator==(const mirrored_account& other) const {
        return url == other.url && account_key == other.account_key;
    }
};

class config {
public:
    using ptime = boost::posix_time::ptime;
    using time_duration = boost::posix_time::time_duration;
    using clock_source = std::function<ptime()>;

    // Created on first use and never destroyed; the first call must come from
    // the main thread before any other thread runs.
    static config& instance();

    // A settings list (whitelist, labels, domains, mirrored accounts, the
    // block list) holds at most this many items, and a settings text at
    // most `max_settings_values` values: longer lists from the service or a
    // file are cut, and the cut is logged.
    static constexpr std::size_t max_list_items = 10000;
    static constexpr std::size_t max_settings_values = 100000;

    config(const config&) = delete;
    config& operator=(const config&) = delete;

    // ---- persisted settings: setters store the value and save the settings file
    std::wstring get_account_key() const { return read(account_key_); }
    void set_account_key(std::wstring value) { set_and_save(account_key_, std::move(value)); }
    std::wstring get_data_key() const { return read(data_key_); }
    void set_data_key(std::wstring value) { set_and_save(data_key_, std::move(value)); }
    std::wstring get_enterprise_team_key() const { return read(enterprise_team_key_); }
    void set_enterprise_team_key(std::wstring value) { set_and_save(enterprise_team_key_, std::move(value)); }
    std::wstring get_enterprise_feedback_url() const { return read(enterprise_feedback_url_); }
    void set_enterprise_feedback_url(std::wstring value) { set_and_save(enterprise_feedback_url_, std::move(value)); }
    std::uint32_t get_enterprise_user_mode() const { return enterprise_user_mode_.load(); }
    void set_enterprise_user_mode(std::uint32_t value) { set_and_save(enterprise_user_mode_, value); }
    bool get_enterprise_flag_for_uninstall() const { return enterprise_flag_for_uninstall_.load(); }
    void set_enterprise_flag_for_uninstall(bool value) { set_and_save(enterprise_flag_for_uninstall_, value); }
    std::uint32_t get_scan_interval() const { return scan_interval_.load(); }
    void set_scan_interval(std::uint32_t value) { set_and_save(scan_interval_, value); }
    std::uint32_t get_scan_partial_split_interval() const { return scan_partial_split_interval_.load(); }
    void set_scan_partial_split_interval(std::uint32_t value) { set_and_save(scan_partial_split_interval_, value); }
    bool get_partial_scanning_enabled() const { return partial_scanning_enabled_.load(); }
    void set_partial_scanning_enabled(bool value) { set_and_save(partial_scanning_enabled_, value); }
    std::uint32_t get_push_interval() const { return push_interval_.load(); }
    void set_push_interval(std::uint32_t value) { set_and_save(push_interval_, value); }
    std::uint32_t get_push_initial_interval() const { return push_initial_interval_.load(); }
    void set_push_initial_interval(std::uint32_t value) { set_and_save(push_initial_interval_, value); }
    std::uint32_t get_pull_interval() const { return pull_interval_.load(); }
    void set_pull_interval(std::uint32_t value) { set_and_save(pull_interval_, value); }
    std::uint32_t get_pull_initial_interval() const { return pull_initial_interval_.load(); }
    void set_pull_initial_interval(std::uint32_t value) { set_and_save(pull_initial_interval_, value); }
    std::uint32_t get_url_from_plugin_delay() const { return url_from_plugin_delay_.load(); }
    void set_url_from_plugin_delay(std::uint32_t value) { set_and_save(url_from_plugin_delay_, value); }
    std::wstring get_url() const { return read(url_); }
    void set_url(std::wstring value) { set_and_save(url_, std::move(value)); }
    // `api_url`, or `url` when `api_url` is empty.
    std::wstring get_api_url() const;
    void set_api_url(std::wstring value) { set_and_save(api_url_, std::move(value)); }
    bool get_corporate_network_workaround() const { return corporate_network_workaround_.load(); }
    void set_corporate_network_workaround(bool value) { set_and_save(corporate_network_workaround_, value); }
    bool get_auto_start() const { return auto_start_.load(); }
    void set_auto_start(bool value) { set_and_save(auto_start_, value); }
    bool get_check_updates() const { return check_updates_.load(); }
    void set_check_updates(bool value) { set_and_save(check_updates_, value); }
    // The time of the last check and of the last upload; unset reads as the start of 2001.
    ptime get_last_update_check() const;
    void set_last_update_check(ptime value) { set_and_save(last_update_check_, std::move(value)); }
    ptime get_last_successful_send() const;
    void set_last_successful_send(ptime value) { set_and_save(last_successful_send_, std::move(value)); }
    std::wstring get_proxy_server() const { return read(proxy_server_); }
    void set_proxy_server(std::wstring value) { set_and_save(proxy_server_, std::move(value)); }
    std::wstring get_proxy_port() const { return read(proxy_port_); }
    void set_proxy_port(std::wstring value) { set_and_save(proxy_port_, std::move(value)); }
    std::wstring get_proxy_username() const { return read(proxy_username_); }
    void set_proxy_username(std::wstring value) { set_and_save(proxy_username_, std::move(value)); }
    std::wstring get_proxy_password_hash() const { return read(proxy_password_hash_); }
    void set_proxy_password_hash(std::wstring value) { set_and_save(proxy_password_hash_, std::move(value)); }
    bool get_proxy_detect_enabled() const { return proxy_detect_enabled_.load(); }
    void set_proxy_detect_enabled(bool value) { set_and_save(proxy_detect_enabled_, value); }
    bool get_logging_schedule_enabled() const { return logging_schedule_enabled_.load(); }
    void set_logging_schedule_enabled(bool value) { set_and_save(logging_schedule_enabled_, value); }
    std::uint32_t get_logging_scheduled_days() const { return logging_scheduled_days_.load(); }
    void set_logging_scheduled_days(std::uint32_t value) { set_and_save(logging_scheduled_days_, value); }
    bool get_logging_enabled() const { return logging_enabled_.load(); }
    void set_logging_enabled(bool value) { set_and_save(logging_enabled_, value); }
    bool get_full_urls_enabled() const { return full_urls_enabled_.load(); }
    void set_full_urls_enabled(bool value) { set_and_save(full_urls_enabled_, value); }
    bool get_window_titles_enabled() const { return window_titles_enabled_.load(); }
    void set_window_titles_enabled(bool value) { set_and_save(window_titles_enabled_, value); }
    bool get_whitelist_enabled() const { return whitelist_enabled_.load(); }
    void set_whitelist_enabled(bool value) { set_and_save(whitelist_enabled_, value); }
    std::uint32_t get_idle_time_start() const { return idle_time_start_.load(); }
    void set_idle_time_start(std::uint32_t value) { set_and_save(idle_time_start_, value); }
    std::uint32_t get_idle_time_away() const { return idle_time_away_.load(); }
    void set_idle_time_away(std::uint32_t value) { set_and_save(idle_time_away_, value); }
    std::uint32_t get_idle_activity_max_away() const { return idle_activity_max_away_.load(); }
    void set_idle_activity_max_away(std::uint32_t value) { set_and_save(idle_activity_max_away_, value); }
    std::uint32_t get_debug_log_level() const { return debug_log_level_.load(); }
    void set_debug_log_level(std::uint32_t value) { set_and_save(debug_log_level_, value); }
    bool get_debug_log_send_enabled() const { return debug_log_send_enabled_.load(); }
    void set_debug_log_send_enabled(bool value) { set_and_save(debug_log_send_enabled_, value); }
    bool get_disable_gui() const { return disable_gui_.load(); }
    void set_disable_gui(bool value) { set_and_save(disable_gui_, value); }
    bool get_first_time_running() const { return first_time_running_.load(); }
    void set_first_time_running(bool value) { set_and_save(first_time_running_, value); }
    bool get_timepie_enabled() const { return timepie_enabled_.load(); }
    void set_timepie_enabled(bool value) { set_and_save(timepie_enabled_, value); }
    bool get_blocking_enabled() const { return blocking_enabled_.load(); }  // set by the blocking policies
    bool get_pausing_allowed() const { return pausing_allowed_.load(); }
    void set_pausing_allowed(bool value) { set_and_save(pausing_allowed_, value); }
    bool get_quitting_allowed() const { return quitting_allowed_.load(); }
    void set_quitting_allowed(bool value) { set_and_save(quitting_allowed_, value); }
    bool get_focused_time_allowed() const { return focused_time_allowed_.load(); }
    void set_focused_time_allowed(bool value) { set_and_save(focused_time_allowed_, value); }
    bool get_goto_dashboard_allowed() const { return goto_dashboard_allowed_.load(); }
    void set_goto_dashboard_allowed(bool value) { set_and_save(goto_dashboard_allowed_, value); }
    bool get_log_idle_enabled() const { return log_idle_enabled_.load(); }
    void set_log_idle_enabled(bool value) { set_and_save(log_idle_enabled_, value); }
    std::uint32_t get_firefox_level() const { return firefox_level_.load(); }
    void set_firefox_level(std::uint32_t value) { set_and_save(firefox_level_, value); }
    bool get_first_grabber_enabled() const { return first_grabber_enabled_.load(); }
    void set_first_grabber_enabled(bool value) { set_and_save(first_grabber_enabled_, value); }
    bool get_timepie_entry_required() const { return timepie_entry_required_.load(); }
    void set_timepie_entry_required(bool value) { set_and_save(timepie_entry_required_, value); }
    bool get_survey_only_once() const { return survey_only_once_.load(); }
    void set_survey_only_once(bool value) { set_and_save(survey_only_once_, value); }
    ptime get_paused_until() const { return read(paused_until_); }
    void set_paused_until(ptime value) { set_and_save(paused_until_, std::move(value)); }
    time_duration get_logging_scheduled_start_hour() const { return read(logging_scheduled_start_hour_); }
    void set_logging_scheduled_start_hour(time_duration value) {
        set_and_save(logging_scheduled_start_hour_, std::move(value));
    }
    time_duration get_logging_scheduled_stop_hour() const { return read(logging_scheduled_stop_hour_); }
    void set_logging_scheduled_stop_hour(time_duration value) {
        set_and_save(logging_scheduled_stop_hour_, std::move(value));
    }
    bool get_backup_log() const { return backup_log_.load(); }
    void set_backup_log(bool value) { set_and_save(backup_log_, value); }
    bool get_offline_time_menu_allowed() const { return offline_time_menu_allowed_.load(); }
    void set_offline_time_menu_allowed(bool value) { set_and_save(offline_time_menu_allowed_, value); }
    std::vector<std::wstring> get_whitelist() const { return read(whitelist_); }
    void set_whitelist(std::vector<std::wstring> value) { set_and_save(whitelist_, std::move(value)); }
    std::vector<std::wstring> get_timepie_labels() const { return read(timepie_labels_); }
    void set_timepie_labels(std::vector<std::wstring> value) { set_and_save(timepie_labels_, std::move(value)); }
    std::vector<std::wstring> get_idle_activities() const { return read(idle_activities_); }
    // Runtime only: the puller fills the list at every start, and that must not
    // rewrite the settings file.
    void set_idle_activities(std::vector<std::wstring> value) { write(idle_activities_, std::move(value)); }
    std::vector<std::wstring> get_extended_domain_list() const { return read(extended_domain_list_); }
    void set_extended_domain_list(std::vector<std::wstring> value) {
        set_and_save(extended_domain_list_, std::move(value));
    }
    std::vector<mirrored_account> get_mirrored_accounts() const { return read(mirrored_accounts_); }
    void set_mirrored_accounts(std::vector<mirrored_account> value) {
        set_and_save(mirrored_accounts_, std::move(value));
    }
    // ---- runtime values (never saved)
    std::wstring get_os_username() const { return read(os_username_); }
    std::wstring get_computer_name() const { return read(computer_name_); }
    std::wstring get_client_version() const { return read(client_version_); }
    std::wstring get_current_application_name() const { return read(current_application_name_); }
    std::wstring get_current_application_version() const { return read(current_application_version_); }
    std::wstring get_current_window_title() const { return read(current_window_title_); }
    std::wstring get_current_extended_info() const { return read(current_extended_info_); }
    std::wstring get_survey_url() const { return read(survey_url_); }
    std::wstring get_survey_message() const { return read(survey_message_); }
    ptime get_survey_time() const { return read(survey_time_); }
    std::wstring get_two_factor_code() const { return read(two_factor_code_); }
    ptime get_running_since() const { return read(running_since_); }
    ptime get_last_event_time() const { return read(last_event_time_); }
    ptime get_last_scan_time() const { return read(last_scan_time_); }
    ptime get_last_push_time() const { return read(last_push_time_); }
    ptime get_last_pull_time() const { return read(last_pull_time_); }
    bool get_gui_loaded() const { return gui_loaded_.load(); }
    bool get_update_check_requested() const { return update_check_requested_.load(); }
    bool get_in_idle_activity() const { return in_idle_activity_.load(); }
    ptime get_offline_dismissed_until() const { return read(offline_dismissed_until_); }
    ptime get_blocking_until() const { return read(blocking_until_); }
    bool get_blocking_always() const { return blocking_always_.load(); }
    std::vector<std::wstring> get_blocked_items() const { return *blocked_items_snapshot(); }
    // The block list as it stands; a later replacement leaves it untouched.
    std::shared_ptr<const std::vector<std::wstring>> blocked_items_snapshot() const {
        return read(blocked_items_);
    }
    std::chrono::system_clock::time_point get_last_browser_support_pull() const { return read(last_browser_support_pull_); }
    // Both mark the identity dirty only when the name changes: the scanner
    // sets them at every record start, and an unchanged identity must not
    // cost an activation request.
    void set_os_username(std::wstring value);
    void set_computer_name(std::wstring value);
    void set_client_version(std::wstring value) { write(client_version_, std::move(value)); }
    void set_current_application_name(std::wstring value) { write(current_application_name_, std::move(value)); }
    void set_current_application_version(std::wstring value) { write(current_application_version_, std::move(value)); }
    void set_current_window_title(std::wstring value) { write(current_window_title_, std::move(value)); }
    void set_current_extended_info(std::wstring value) { write(current_extended_info_, std::move(value)); }
    void set_survey_url(std::wstring value) { write(survey_url_, std::move(value)); }
    void set_survey_message(std::wstring value) { write(survey_message_, std::move(value)); }
    void set_survey_time(ptime value) { write(survey_time_, std::move(value)); }
    void set_two_factor_code(std::wstring value) { write(two_factor_code_, std::move(value)); }
    void set_running_since(ptime value) { write(running_since_, std::move(value)); }
    void set_last_event_time(ptime value) { write(last_event_time_, std::move(value)); }
    void set_last_scan_time(ptime value) { write(last_scan_time_, std::move(value)); }
    void set_last_push_time(ptime value) { write(last_push_time_, std::move(value)); }
    void set_last_pull_time(ptime value) { write(last_pull_time_, std::move(value)); }
    void set_gui_loaded(bool value) { gui_loaded_.store(value); }
    void set_update_check_requested(bool value) { update_check_requested_.store(value); }
    void set_in_idle_activity(bool value) { in_idle_activity_.store(value); }
    void set_offline_dismissed_until(ptime value) { write(offline_dismissed_until_, std::move(value)); }
    void set_last_browser_support_pull(std::chrono::system_clock::time_point value);
    // ---- computed answers
    // Without a copy of the text: the UI loop asks twice a second.
    bool has_enterprise_team_key() const { return has_text(enterprise_team_key_); }
    bool has_account_key() const { return has_text(account_key_); }
    bool has_survey_url() const { return has_text(survey_url_); }
    bool has_enterprise_feedback_url() const { return has_text(enterprise_feedback_url_); }
    std::wstring get_client_version(bool with_identity) const;

    void set_defaults();
    void reset(const std::wstring& account_key);

    // ---- settings file
    void save();
    bool load();

    // ---- state and policies
    bool is_authenticated();
    // A sign-in stored a new account key: asks the service about it now,
    // whatever an earlier check found out, unless already authenticated.
    bool confirm_authentication();
    bool has_identity_changed();
    bool is_logging_allowed_now() const;
    // The same answer leaving a pause aside: the schedule and the
    // administrator's switch alone.
    bool is_logging_allowed_ignoring_pause() const;
    bool is_paused() const;
    bool is_blocking() const;
    bool is_blocking_activities() const;
    void set_blocking_enabled(bool enabled);
    void set_blocking_until(ptime until);
    void set_blocked_items(std::vector<std::wstring> items);
    // Stores `items` (and saves) only while the block list is still the
    // snapshot `seen`: a list stored by another thread meanwhile wins, and
    // the caller may work its change into that one. False when not stored.
    bool replace_blocked_items(const std::shared_ptr<const std::vector<std::wstring>>& seen,
                               std::vector<std::wstring> items);

    void set_status_message(const std::wstring& text, int severity);
    std::wstring get_status_message() const;
    // Whether the status line reads `text`, without a copy of it.
    bool status_message_is(const std::wstring& text) const {
        return holds(status_message_, [&text](const std::wstring& shown) { return shown == text; });
    }
    int get_status_severity() const { return status_severity_.load(); }
    void push_status_message(const std::wstring& text);
    void pop_status_message(std::wstring& text);

    // The local wall clock the policies read; tests replace it, and an empty
    // clock restores the real one.
    void set_clock(clock_source clock);
    ptime local_now() const;

    // ---- settings file: applying structures and reading the files
    // (save() writes kestreld.json atomically, mode 0600, one save at a time;
    // load() is the start-up order: kestreld.json, else the legacy
    // kestreld.cfg, then base_config.json while this is the first run; an
    // unreadable base_config.json is logged and ignored.)
    // Applies the settings present with the right kind; others are kept.
    void load(const DynamicStructure& structure);
    // True when the file was read and parsed. A corrupt file resets every
    // setting to its default, shows "status_message_corrupt_config" and, for
    // kestreld.json, is kept aside as "kestreld.json.corrupt" (later, other
    // corrupt texts as ".corrupt.1" to ".corrupt.9"; a kept copy is never replaced).
    // A kestreld.json that is there but cannot be read (no permission, not
    // a regular file, larger than a settings file can be) is logged and left
    // alone: the store runs on its defaults and no save replaces that file.
    bool load_from_json_on_disk(const std::string& path);
    // Legacy migration: applies the YAML file, saves kestreld.json and
    // removes the legacy file once kestreld.json can be read.
    bool load_from_yaml_on_disk(const std::string& path);

    // ---- browser-support table (runtime only, never in the settings file)
    // Readers get a snapshot that a later replacement leaves untouched.
    std::shared_ptr<const DynamicStructure> get_browser_support() const;
    // Stores a copy of any structure (the reader rejects bad shapes) and
    // raises the changed flag.
    void set_browser_support(const DynamicStructure& table);
    void load_default_browser_support();
    bool get_browser_support_changed() const { return browser_support_changed_.load(); }
    void set_browser_support_changed(bool value) { browser_support_changed_.store(value); }
    // Reads and clears the changed flag in one step, so no change is missed.
    bool take_browser_support_changed() { return browser_support_changed_.exchange(false); }

    // ---- account activation through the web service
    // `is_authenticated` activates through this service; until one is set
    // nothing is activated and the answer stays "not authenticated".
    void set_activation_service(std::shared_ptr<activation_service> service);

private:
    config();

    // The schedule and `logging_enabled` at a local time.
    bool logging_allowed_at(const ptime& now) const;

    template <class T>
    T read(const T& member) const {
        std::lock_guard<std::mutex> lock(data_mutex_);
        return member;
    }
    template <class T, class Test>
    bool holds(const T& member, const Test& test) const {
        std::lock_guard<std::mutex> lock(data_mutex_);
        return test(member);
    }
    bool has_text(const std::wstring& member) const {
        return holds(member, [](const std::wstring& text) { return !text.empty(); });
    }
    template <class T>
    void write(T& member, T value) {
        std::lock_guard<std::mutex> lock(data_mutex_);
        member = std::move(value);
    }
    // True when the member took a value it did not hold.
    template <class T>
    bool change(T& member, T value) {
        std::lock_guard<std::mutex> lock(data_mutex_);
        if (member == value) return false;
        member = std::move(value);
        return true;
    }
    template <class T>
    void set_and_save(T& member, T value) {
        write(member, std::move(value));
        save();
    }
    template <class T>
    void set_and_save(std::atomic<T>& member, T value) {
        member.store(value);
        save();
    }

    // Every persisted setting with its key, default, kind and rules, which
    // the defaults, the loader and the writer walk (config_settings_table.h).
    struct setting;
    struct settings_table;

    mutable std::mutex data_mutex_;
    clock_source clock_;
    // Most passes of every loop read the clock several times: while no test
    // clock is set they read the wall clock without taking the data lock.
    std::atomic<bool> wall_clock_{true};

    std::wstring account_key_{};
    std::wstring data_key_{};
    std::wstring enterprise_team_key_{};
    std::wstring enterprise_feedback_url_{};
    std::atomic<std::uint32_t> enterprise_user_mode_{};
    std::atomic<bool> enterprise_flag_for_uninstall_{};
    std::atomic<std::uint32_t> scan_interval_{};
    std::atomic<std::uint32_t> scan_partial_split_interval_{};
    std::atomic<bool> partial_scanning_enabled_{};
    std::atomic<std::uint32_t> push_interval_{};
    std::atomic<std::uint32_t> push_initial_interval_{};
    std::atomic<std::uint32_t> pull_interval_{};
    std::atomic<std::uint32_t> pull_initial_interval_{};
    std::atomic<std::uint32_t> url_from_plugin_delay_{};
    std::wstring url_{};
    std::wstring api_url_{};
    std::atomic<bool> corporate_network_workaround_{};
    std::atomic<bool> auto_start_{};
    std::atomic<bool> check_updates_{};
    ptime last_update_check_{};
    ptime last_successful_send_{};
    std::wstring proxy_server_{};
    std::wstring proxy_port_{};
    std::wstring proxy_username_{};
    std::wstring proxy_password_hash_{};
    std::atomic<bool> proxy_detect_enabled_{};
    std::atomic<bool> logging_schedule_enabled_{};
    std::atomic<std::uint32_t> logging_scheduled_days_{};
    std::atomic<bool> logging_enabled_{};
    std::atomic<bool> full_urls_enabled_{};
    std::atomic<bool> window_titles_enabled_{};
    std::atomic<bool> whitelist_enabled_{};
    std::atomic<std::uint32_t> idle_time_start_{};
    std::atomic<std::uint32_t> idle_time_away_{};
    std::atomic<std::uint32_t> idle_activity_max_away_{};
    std::atomic<std::uint32_t> debug_log_level_{};
    std::atomic<bool> debug_log_send_enabled_{};
    std::atomic<bool> disable_gui_{};
    std::atomic<bool> first_time_running_{};
    std::atomic<bool> timepie_enabled_{};
    std::atomic<bool> blocking_enabled_{};
    std::atomic<bool> pausing_allowed_{};
    std::atomic<bool> quitting_allowed_{};
    std::atomic<bool> focused_time_allowed_{};
    std::atomic<bool> goto_dashboard_allowed_{};
    std::atomic<bool> log_idle_enabled_{};
    std::atomic<std::uint32_t> firefox_level_{};
    std::atomic<bool> first_grabber_enabled_{};
    std::atomic<bool> timepie_entry_required_{};
    std::atomic<bool> survey_only_once_{};
    ptime paused_until_{};
    time_duration logging_scheduled_start_hour_{};
    time_duration logging_scheduled_stop_hour_{};
    std::atomic<bool> backup_log_{};
    std::atomic<bool> offline_time_menu_allowed_{};
    std::vector<std::wstring> whitelist_{};
    std::vector<std::wstring> timepie_labels_{};
    std::vector<std::wstring> idle_activities_{};
    std::vector<std::wstring> extended_domain_list_{};
    std::vector<mirrored_account> mirrored_accounts_{};
    std::wstring os_username_{};
    std::wstring computer_name_{};
    std::wstring client_version_{};
    std::wstring current_application_name_{};
    std::wstring current_application_version_{};
    std::wstring current_window_title_{};
    std::wstring current_extended_info_{};
    std::wstring survey_url_{};
    std::wstring survey_message_{};
    ptime survey_time_{};
    std::wstring two_factor_code_{};
    ptime running_since_{};
    ptime last_event_time_{};
    ptime last_scan_time_{};
    ptime last_push_time_{};
    ptime last_pull_time_{};
    std::atomic<bool> gui_loaded_{};
    std::atomic<bool> update_check_requested_{};
    std::atomic<bool> in_idle_activity_{};
    ptime offline_dismissed_until_{};
    ptime blocking_until_{};
    std::atomic<bool> blocking_always_{};
    std::shared_ptr<const std::vector<std::wstring>> blocked_items_ =
        std::make_shared<const std::vector<std::wstring>>();
    std::wstring last_account_key_{};
    std::wstring last_os_username_{};
    std::wstring last_computer_name_{};
    std::atomic<bool> identity_dirty_{};
    std::atomic<bool> authenticated_{};
    std::atomic<bool> saving_allowed_{};
    std::chrono::system_clock::time_point last_browser_support_pull_{};
    std::wstring status_message_;
    std::atomic<int> status_severity_{0};
    mutable std::mutex status_queue_mutex_;
    std::deque<std::wstring> status_queue_;

    // ---- settings file and browser-support table
    std::mutex save_mutex_;  // taken before data_mutex_, never inside it
    // Under save_mutex_. kestreld.json exists but could not be read at start:
    // it may hold the only copy of the account key, so nothing is saved over it.
    bool settings_file_unreadable_ = false;
    bool refused_save_logged_ = false;
    std::string last_saved_text_;
    mutable std::mutex browser_support_mutex_;
    std::shared_ptr<const DynamicStructure> browser_support_;
    std::atomic<bool> browser_support_changed_{false};

    // ---- account activation
    std::shared_ptr<activation_service> activation_service_;  // under data_mutex_
    // One activation at a time: a second caller waits and reads the outcome.
    std::mutex activation_mutex_;
    // Asks the service about the stored identity; under activation_mutex_.
    bool ask_service_about_identity(activation_service& service);
};

}  // namespace kes
