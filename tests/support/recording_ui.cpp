#include "tests/support/recording_ui.h"

#include <chrono>
#include <stdexcept>

namespace kes::testing {

void recording_tray_menu::show() {
    std::vector<rendered_menu_item> shown = render();
    std::lock_guard<std::mutex> lock(mutex_);
    ++shows_;
    last_shown_ = std::move(shown);
}

int recording_tray_menu::show_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shows_;
}

std::vector<rendered_menu_item> recording_tray_menu::last_shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_shown_;
}

recording_ui::recording_ui() : recording_ui(seams{}) {}

recording_ui::recording_ui(seams with) : ui(std::move(with)) {}

recording_ui::~recording_ui() {
    release_sign_in();
    finish_requests();  // while this object's answers still exist
}

void recording_ui::show_alert(const std::wstring& message, const std::wstring& title) {
    record(L"show_alert", title + L"|" + message);
}

void recording_ui::record(const std::wstring& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
}

void recording_ui::record(const std::wstring& name, const std::wstring& argument) {
    record(name + L": " + argument);
}

std::vector<std::wstring> recording_ui::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::size_t recording_ui::call_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.size();
}

std::vector<std::wstring> recording_ui::opened_urls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_urls_;
}

std::vector<std::wstring> recording_ui::notifications() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notifications_;
}

std::vector<std::wstring> recording_ui::status_messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_messages_;
}

std::vector<std::wstring> recording_ui::blocked_items() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocked_items_;
}

std::vector<int> recording_ui::still_zone_minutes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return still_zone_minutes_;
}

int recording_ui::quit_requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quit_requests_;
}

void recording_ui::answer_confirmation(bool yes) {
    std::lock_guard<std::mutex> lock(mutex_);
    confirmation_answer_ = yes;
}

void recording_ui::answer_start_at_login(bool starts) {
    std::lock_guard<std::mutex> lock(mutex_);
    starts_at_login_ = starts;
}

void recording_ui::answer_troubleshooting_visible(bool visible) {
    std::lock_guard<std::mutex> lock(mutex_);
    troubleshooting_visible_ = visible;
}

void recording_ui::fail_next_passes(int count, bool with_std_exception) {
    std::lock_guard<std::mutex> lock(mutex_);
    failing_passes_ = count;
    fail_with_std_exception_ = with_std_exception;
}

void recording_ui::answer_sign_in(const std::wstring& email, const std::wstring& password) {
    std::lock_guard<std::mutex> lock(mutex_);
    email_ = email;
    password_ = password;
}

void recording_ui::answer_two_factor_codes(std::vector<std::wstring> codes) {
    std::lock_guard<std::mutex> lock(mutex_);
    two_factor_codes_.assign(codes.begin(), codes.end());
}

int recording_ui::two_factor_prompts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return two_factor_prompts_;
}

void recording_ui::answer_computer(const std::wstring& brand, const std::wstring& model,
                                   const std::wstring& platform_version) {
    std::lock_guard<std::mutex> lock(mutex_);
    computer_brand_ = brand;
    computer_model_ = model;
    platform_version_ = platform_version;
}

void recording_ui::hold_sign_in() {
    std::lock_guard<std::mutex> lock(mutex_);
    sign_in_held_ = true;
}

bool recording_ui::wait_until_sign_in_held() {
    std::unique_lock<std::mutex> lock(mutex_);
    return sign_in_gate_.wait_for(lock, std::chrono::seconds(10), [this] { return sign_in_waiting_; });
}

void recording_ui::release_sign_in() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sign_in_held_ = false;
    }
    sign_in_gate_.notify_all();
}

void recording_ui::click_checkbox(std::size_t index, bool checked) {
    std::lock_guard<std::mutex> lock(mutex_);
    checkboxes_.at(index) = checked;
}

std::wstring recording_ui::get_username() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (sign_in_held_) {
        sign_in_waiting_ = true;
        sign_in_gate_.notify_all();
        sign_in_gate_.wait(lock, [this] { return !sign_in_held_; });
        sign_in_waiting_ = false;
    }
    return email_;
}

std::wstring recording_ui::get_password() {
    std::lock_guard<std::mutex> lock(mutex_);
    return password_;
}

std::wstring recording_ui::ask_two_factor_code(const std::wstring& refusal) {
    if (refusal.empty()) {
        record(L"ask_two_factor_code");
    } else {
        record(L"ask_two_factor_code", refusal);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++two_factor_prompts_;
    if (two_factor_codes_.empty()) return L"";
    std::wstring code = two_factor_codes_.front();
    two_factor_codes_.pop_front();
    return code;
}

std::wstring recording_ui::get_computer_brand() {
    std::lock_guard<std::mutex> lock(mutex_);
    return computer_brand_;
}

std::wstring recording_ui::get_computer_make() { return get_computer_model(); }

std::wstring recording_ui::get_computer_model() {
    std::lock_guard<std::mutex> lock(mutex_);
    return computer_model_;
}

std::wstring recording_ui::get_platform_version() {
    std::lock_guard<std::mutex> lock(mutex_);
    return platform_version_;
}

void recording_ui::init() {
    bool starts = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        starts = starts_at_login_;
    }
    menu_.set_tray_item_visible(k_tray_item_preferences_start_at_login, true);
    menu_.set_tray_item_visible(k_tray_item_separator_start_at_login, true);
    menu_.set_tray_item_checked(k_tray_item_preferences_start_at_login, starts);
    ui::init();
}

void recording_ui::ux_open_url(const std::wstring& address) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        opened_urls_.push_back(address);
    }
    record(L"ux_open_url", address);
}

bool recording_ui::ask_confirmation(const std::wstring& message, const std::wstring& title) {
    record(L"ask_confirmation", title + L" / " + message);
    std::lock_guard<std::mutex> lock(mutex_);
    return confirmation_answer_;
}

void recording_ui::check_for_updates_now() { record(L"check_for_updates_now"); }

void recording_ui::ux_set_tray_icon(int state) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tray_icon_state_ = state;
    }
    record(L"ux_set_tray_icon", std::to_wstring(state));
}

int recording_ui::get_tray_icon() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failing_passes_ > 0) {
        --failing_passes_;
        if (fail_with_std_exception_) throw std::runtime_error("the icon cannot be read");
        throw 42;
    }
    return tray_icon_state_;
}

void recording_ui::set_status_message(const std::wstring& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_messages_.push_back(text);
    }
    record(L"set_status_message", text);
}

void recording_ui::show_activation_prompt() { record(L"show_activation_prompt"); }
void recording_ui::set_state_post_activate() { record(L"set_state_post_activate"); }

void recording_ui::show_user_notification(const std::wstring& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        notifications_.push_back(text);
    }
    record(L"show_user_notification", text);
}

void recording_ui::ux_show_offline_time() { record(L"ux_show_offline_time"); }
void recording_ui::ux_hide_offline_time() { record(L"ux_hide_offline_time"); }

void recording_ui::ux_set_offline_time_labels(const std::vector<std::wstring>& labels) {
    std::wstring joined;
    for (const std::wstring& label : labels) joined += (joined.empty() ? L"" : L"|") + label;
    record(L"ux_set_offline_time_labels", joined);
}

void recording_ui::ux_set_offline_time_start_time(const std::wstring& question) {
    record(L"ux_set_offline_time_start_time", question);
}

void recording_ui::ux_set_offline_time_elapsed_time(const std::wstring& elapsed) {
    record(L"ux_set_offline_time_elapsed_time", elapsed);
}

void recording_ui::show_still_zone_window() { record(L"show_still_zone_window"); }
void recording_ui::hide_still_zone_window() { record(L"hide_still_zone_window"); }

void recording_ui::set_still_zone_minutes(int minutes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        still_zone_minutes_.push_back(minutes);
    }
    record(L"set_still_zone_minutes", std::to_wstring(minutes));
}

void recording_ui::on_blocked_item_focused(const std::wstring& item) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        blocked_items_.push_back(item);
    }
    record(L"on_blocked_item_focused", item);
}

void recording_ui::ux_set_dynamic1_text(const std::wstring& text) { record(L"ux_set_dynamic1_text", text); }
void recording_ui::show_preferences_window() { record(L"show_preferences_window"); }
void recording_ui::go_to_help() { record(L"go_to_help"); }
void recording_ui::set_help_info(const std::wstring& text) { record(L"set_help_info", text); }

bool recording_ui::ux_toggle_start_at_login() {
    bool starts = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        starts_at_login_ = !starts_at_login_;
        starts = starts_at_login_;
    }
    record(L"ux_toggle_start_at_login", starts ? L"1" : L"0");
    return starts;
}

void recording_ui::confirm_reset_configuration(std::function<void(bool confirmed)> answered) {
    record(L"confirm_reset_configuration");
    bool confirmed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        confirmed = confirmation_answer_;
    }
    answered(confirmed);
}

void recording_ui::open_in_finder(const std::wstring& path) { record(L"open_in_finder", path); }

void recording_ui::on_update_check_result(bool newer_version_available) {
    record(L"on_update_check_result", newer_version_available ? L"1" : L"0");
}

bool recording_ui::is_troubleshooting_visible() {
    std::lock_guard<std::mutex> lock(mutex_);
    return troubleshooting_visible_;
}

void recording_ui::set_ts_debug_log_level(int mask) { record(L"set_ts_debug_log_level", std::to_wstring(mask)); }
void recording_ui::set_ts_debug_log_location(const std::wstring& path) { record(L"set_ts_debug_log_location", path); }
void recording_ui::set_ts_idle_time(std::int64_t seconds) { record(L"set_ts_idle_time", std::to_wstring(seconds)); }
void recording_ui::set_ts_os_username(const std::wstring& text) { record(L"set_ts_os_username", text); }
void recording_ui::set_ts_machine_name(const std::wstring& text) { record(L"set_ts_machine_name", text); }
void recording_ui::set_ts_application_name(const std::wstring& text) { record(L"set_ts_application_name", text); }
void recording_ui::set_ts_application_version(const std::wstring& text) {
    record(L"set_ts_application_version", text);
}
void recording_ui::set_ts_window_title(const std::wstring& text) { record(L"set_ts_window_title", text); }
void recording_ui::set_ts_extended_info(const std::wstring& text) { record(L"set_ts_extended_info", text); }

bool recording_ui::checkbox(std::size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return checkboxes_.at(index);
}

void recording_ui::set_checkbox(std::size_t index, bool checked) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        checkboxes_.at(index) = checked;
    }
    record(L"set_control_checked_log " + std::to_wstring(index), checked ? L"1" : L"0");
}

void recording_ui::quit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++quit_requests_;
    }
    record(L"quit");
}

}  // namespace kes::testing
