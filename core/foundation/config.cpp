#include "core/foundation/config.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/time_util.h"
#include "kes/build_config.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

std::atomic<config*> published{nullptr};

boost::posix_time::ptime never_set_time() {
    static const auto value = boost::posix_time::time_from_string("2001-01-01 00:00:00");
    return value;
}

}  // namespace

config& config::instance() {
    if (config* existing = published.load(std::memory_order_acquire)) return *existing;
    // Published before the defaults and the settings file are applied: loading
    // logs, and the debug log asks this store for its mask.
    auto* created = new config();  // never destroyed: threads may read settings during exit
    published.store(created, std::memory_order_release);
    created->set_defaults();
    // kestreld.json; only when that fails the legacy kestreld.cfg; then, while
    // this is still the first run, base_config.json on top.
    created->load();
    return *created;
}

namespace {
config::ptime wall_clock_now() { return util::local_now_seconds(); }
}  // namespace

config::config() : clock_(&wall_clock_now) {}

void config::set_clock(clock_source clock) {
    std::lock_guard<std::mutex> lock(data_mutex_);
    wall_clock_.store(!clock);
    clock_ = clock ? std::move(clock) : clock_source(&wall_clock_now);
}

config::ptime config::local_now() const {
    if (wall_clock_.load()) return wall_clock_now();
    clock_source clock;
    {
        std::lock_guard<std::mutex> lock(data_mutex_);
        clock = clock_;
    }
    return clock();
}

std::wstring config::get_api_url() const {
    std::lock_guard<std::mutex> lock(data_mutex_);
    return api_url_.empty() ? url_ : api_url_;
}

config::ptime config::get_last_update_check() const {
    const ptime stored = read(last_update_check_);
    return stored.is_not_a_date_time() ? never_set_time() : stored;
}

config::ptime config::get_last_successful_send() const {
    const ptime stored = read(last_successful_send_);
    return stored.is_not_a_date_time() ? never_set_time() : stored;
}

std::wstring config::get_client_version(bool with_identity) const {
    std::lock_guard<std::mutex> lock(data_mutex_);
    if (!with_identity) return client_version_;
    return client_version_ + L" - " + os_username_ + L"/" + computer_name_;
}

void config::set_defaults() {
    const ptime now = local_now();
    std::lock_guard<std::mutex> lock(data_mutex_);
    using boost::posix_time::time_duration;
    account_key_ = L"";
    data_key_ = L"";
    enterprise_team_key_ = L"";
    enterprise_feedback_url_ = L"";
    enterprise_user_mode_.store(0);
    enterprise_flag_for_uninstall_.store(false);
    scan_interval_.store(1);
    scan_partial_split_interval_.store(60);
    partial_scanning_enabled_.store(false);
    push_interval_.store(1800);
    push_initial_interval_.store(180);
    pull_interval_.store(300);
    pull_initial_interval_.store(30);
    url_from_plugin_delay_.store(1000);
    url_ = build::default_web_host;
    api_url_ = build::default_api_host;
    corporate_network_workaround_.store(false);
    auto_start_.store(true);
    check_updates_.store(true);
    last_update_check_ = ptime();
    last_successful_send_ = ptime();
    proxy_server_ = L"";
    proxy_port_ = L"";
    proxy_username_ = L"";
    proxy_password_hash_ = L"";
    proxy_detect_enabled_.store(true);
    logging_schedule_enabled_.store(false);
    logging_scheduled_days_.store(127);
    logging_enabled_.store(true);
    full_urls_enabled_.store(true);
    window_titles_enabled_.store(true);
    whitelist_enabled_.store(false);
    idle_time_start_.store(300);
    idle_time_away_.store(300);
    idle_activity_max_away_.store(14400);
    debug_log_level_.store(1);
    debug_log_send_enabled_.store(false);
    disable_gui_.store(false);
    first_time_running_.store(true);
    timepie_enabled_.store(false);
    blocking_enabled_.store(false);
    pausing_allowed_.store(true);
    quitting_allowed_.store(true);
    focused_time_allowed_.store(true);
    goto_dashboard_allowed_.store(true);
    log_idle_enabled_.store(false);
    firefox_level_.store(1);
    first_grabber_enabled_.store(true);
    timepie_entry_required_.store(false);
    survey_only_once_.store(true);
    paused_until_ = now;
    logging_scheduled_start_hour_ = time_duration(boost::posix_time::not_a_date_time);
    logging_scheduled_stop_hour_ = time_duration(boost::posix_time::not_a_date_time);
    backup_log_.store(false);
    offline_time_menu_allowed_.store(false);
    whitelist_.clear();
    timepie_labels_.clear();
    extended_domain_list_.clear();
    mirrored_accounts_.clear();    identity_dirty_.store(true);
    authenticated_.store(false);
    two_factor_code_.clear();
    gui_loaded_.store(false);
    in_idle_activity_.store(false);
    update_check_requested_.store(false);
    last_account_key_.clear();
    last_os_username_.clear();
    last_computer_name_.clear();
    blocked_items_ = std::make_shared<const std::vector<std::wstring>>();
    blocking_always_.store(false);
    offline_dismissed_until_ = now;
    blocking_until_ = now;
    saving_allowed_.store(true);
    // Takes only the table's own mutex.
    load_default_browser_support();
}

void config::reset(const std::wstring& account_key) {
    set_defaults();
    if (!account_key.empty()) write(account_key_, account_key);
    save();
}

void config::set_status_message(const std::wstring& text, int severity) {
    write(status_message_, text);
    status_severity_.store(severity);
}

std::wstring config::get_status_message() const { return read(status_message_); }

void config::push_status_message(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(status_queue_mutex_);
    while (status_queue_.size() > 5) status_queue_.pop_front();
    status_queue_.push_back(text);
}

void config::pop_status_message(std::wstring& text) {
    std::lock_guard<std::mutex> lock(status_queue_mutex_);
    text.clear();
    if (status_queue_.empty()) return;
    text = std::move(status_queue_.front());
    status_queue_.pop_front();
}

// ---- accessors

void config::set_account_key(std::wstring value) {
    write(account_key_, std::move(value));
    save();
}

void config::set_data_key(std::wstring value) {
    write(data_key_, std::move(value));
    save();
}

void config::set_enterprise_team_key(std::wstring value) {
    write(enterprise_team_key_, std::move(value));
    save();
}

void config::set_enterprise_feedback_url(std::wstring value) {
    write(enterprise_feedback_url_, std::move(value));
    save();
}

void config::set_enterprise_user_mode(std::uint32_t value) {
    enterprise_user_mode_.store(value);
    save();
}

void config::set_enterprise_flag_for_uninstall(bool value) {
    enterprise_flag_for_uninstall_.store(value);
    save();
}

void config::set_scan_interval(std::uint32_t value) {
    scan_interval_.store(value);
    save();
}

void config::set_scan_partial_split_interval(std::uint32_t value) {
    scan_partial_split_interval_.store(value);
    save();
}

void config::set_partial_scanning_enabled(bool value) {
    partial_scanning_enabled_.store(value);
    save();
}

void config::set_push_interval(std::uint32_t value) {
    push_interval_.store(value);
    save();
}

void config::set_push_initial_interval(std::uint32_t value) {
    push_initial_interval_.store(value);
    save();
}

void config::set_pull_interval(std::uint32_t value) {
    pull_interval_.store(value);
    save();
}

void config::set_pull_initial_interval(std::uint32_t value) {
    pull_initial_interval_.store(value);
    save();
}

void config::set_url_from_plugin_delay(std::uint32_t value) {
    url_from_plugin_delay_.store(value);
    save();
}

void config::set_url(std::wstring value) {
    write(url_, std::move(value));
    save();
}

void config::set_api_url(std::wstring value) {
    write(api_url_, std::move(value));
    save();
}

void config::set_corporate_network_workaround(bool value) {
    corporate_network_workaround_.store(value);
    save();
}

void config::set_auto_start(bool value) {
    auto_start_.store(value);
    save();
}

void config::set_check_updates(bool value) {
    check_updates_.store(value);
    save();
}

void config::set_last_update_check(ptime value) {
    write(last_update_check_, std::move(value));
    save();
}

void config::set_last_successful_send(ptime value) {
    write(last_successful_send_, std::move(value));
    save();
}

void config::set_proxy_server(std::wstring value) {
    write(proxy_server_, std::move(value));
    save();
}

void config::set_proxy_port(std::wstring value) {
    write(proxy_port_, std::move(value));
    save();
}

void config::set_proxy_username(std::wstring value) {
    write(proxy_username_, std::move(value));
    save();
}

void config::set_proxy_password_hash(std::wstring value) {
    write(proxy_password_hash_, std::move(value));
    save();
}

void config::set_proxy_detect_enabled(bool value) {
    proxy_detect_enabled_.store(value);
    save();
}

void config::set_logging_schedule_enabled(bool value) {
    logging_schedule_enabled_.store(value);
    save();
}

void config::set_logging_scheduled_days(std::uint32_t value) {
    logging_scheduled_days_.store(value);
    save();
}

void config::set_logging_enabled(bool value) {
    logging_enabled_.store(value);
    save();
}

void config::set_full_urls_enabled(bool value) {
    full_urls_enabled_.store(value);
    save();
}

void config::set_window_titles_enabled(bool value) {
    window_titles_enabled_.store(value);
    save();
}

void config::set_whitelist_enabled(bool value) {
    whitelist_enabled_.store(value);
    save();
}

void config::set_idle_time_start(std::uint32_t value) {
    idle_time_start_.store(value);
    save();
}

void config::set_idle_time_away(std::uint32_t value) {
    idle_time_away_.store(value);
    save();
}

void config::set_idle_activity_max_away(std::uint32_t value) {
    idle_activity_max_away_.store(value);
    save();
}

void config::set_debug_log_level(std::uint32_t value) {
    debug_log_level_.store(value);
    save();
}

void config::set_debug_log_send_enabled(bool value) {
    debug_log_send_enabled_.store(value);
    save();
}

void config::set_disable_gui(bool value) {
    disable_gui_.store(value);
    save();
}

void config::set_first_time_running(bool value) {
    first_time_running_.store(value);
    save();
}

void config::set_timepie_enabled(bool value) {
    timepie_enabled_.store(value);
    save();
}

void config::set_pausing_allowed(bool value) {
    pausing_allowed_.store(value);
    save();
}

void config::set_quitting_allowed(bool value) {
    quitting_allowed_.store(value);
    save();
}

void config::set_focused_time_allowed(bool value) {
    focused_time_allowed_.store(value);
    save();
}

void config::set_goto_dashboard_allowed(bool value) {
    goto_dashboard_allowed_.store(value);
    save();
}

void config::set_log_idle_enabled(bool value) {
    log_idle_enabled_.store(value);
    save();
}

void config::set_firefox_level(std::uint32_t value) {
    firefox_level_.store(value);
    save();
}

void config::set_first_grabber_enabled(bool value) {
    first_grabber_enabled_.store(value);
    save();
}

void config::set_timepie_entry_required(bool value) {
    timepie_entry_required_.store(value);
    save();
}

void config::set_survey_only_once(bool value) {
    survey_only_once_.store(value);
    save();
}

void config::set_paused_until(ptime value) {
    write(paused_until_, std::move(value));
    save();
}

void config::set_logging_scheduled_start_hour(time_duration value) {
    write(logging_scheduled_start_hour_, std::move(value));
    save();
}

void config::set_logging_scheduled_stop_hour(time_duration value) {
    write(logging_scheduled_stop_hour_, std::move(value));
    save();
}

void config::set_backup_log(bool value) {
    backup_log_.store(value);
    save();
}

void config::set_offline_time_menu_allowed(bool value) {
    offline_time_menu_allowed_.store(value);
    save();
}

void config::set_whitelist(std::vector<std::wstring> value) {
    write(whitelist_, std::move(value));
    save();
}

void config::set_timepie_labels(std::vector<std::wstring> value) {
    write(timepie_labels_, std::move(value));
    save();
}

// Runtime only: the puller fills the list at every start, and that must not
// rewrite the settings file.
void config::set_idle_activities(std::vector<std::wstring> value) { write(idle_activities_, std::move(value)); }

void config::set_extended_domain_list(std::vector<std::wstring> value) {
    write(extended_domain_list_, std::move(value));
    save();
}

void config::set_mirrored_accounts(std::vector<mirrored_account> value) {
    write(mirrored_accounts_, std::move(value));
    save();
}

void config::set_os_username(std::wstring value) {
    if (change(os_username_, std::move(value))) identity_dirty_.store(true);
}

void config::set_computer_name(std::wstring value) {
    if (change(computer_name_, std::move(value))) identity_dirty_.store(true);
}

void config::set_client_version(std::wstring value) {
    write(client_version_, std::move(value));
}

void config::set_current_application_name(std::wstring value) {
    write(current_application_name_, std::move(value));
}

void config::set_current_application_version(std::wstring value) {
    write(current_application_version_, std::move(value));
}

void config::set_current_window_title(std::wstring value) {
    write(current_window_title_, std::move(value));
}

void config::set_current_extended_info(std::wstring value) {
    write(current_extended_info_, std::move(value));
}

void config::set_survey_url(std::wstring value) {
    write(survey_url_, std::move(value));
}

void config::set_survey_message(std::wstring value) {
    write(survey_message_, std::move(value));
}

void config::set_survey_time(ptime value) {
    write(survey_time_, std::move(value));
}

void config::set_two_factor_code(std::wstring value) {
    write(two_factor_code_, std::move(value));
}

void config::set_running_since(ptime value) {
    write(running_since_, std::move(value));
}

void config::set_last_event_time(ptime value) {
    write(last_event_time_, std::move(value));
}

void config::set_last_scan_time(ptime value) {
    write(last_scan_time_, std::move(value));
}

void config::set_last_push_time(ptime value) {
    write(last_push_time_, std::move(value));
}

void config::set_last_pull_time(ptime value) {
    write(last_pull_time_, std::move(value));
}

void config::set_gui_loaded(bool value) {
    gui_loaded_.store(value);
}

void config::set_update_check_requested(bool value) {
    update_check_requested_.store(value);
}

void config::set_in_idle_activity(bool value) {
    in_idle_activity_.store(value);
}

void config::set_offline_dismissed_until(ptime value) {
    write(offline_dismissed_until_, std::move(value));
}

void config::set_last_browser_support_pull(std::chrono::system_clock::time_point value) {
    write(last_browser_support_pull_, std::move(value));
}

}  // namespace kes
