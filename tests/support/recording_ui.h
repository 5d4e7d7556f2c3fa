#pragma once
// A user interface for tests: every operation the platform would supply is
// answered in memory and recorded, so the UI logic (event loop, menu
// actions, focus sessions) runs without a window system. The status menu is
// the real model; its `show` records the rendering the platform would draw.

#include "core/ui/system_tray_menu.h"
#include "core/ui/ui.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace kes::testing {

class recording_tray_menu : public system_tray_menu_interface {
public:
    void show() override;

    int show_count() const;
    std::vector<rendered_menu_item> last_shown() const;

private:
    mutable std::mutex mutex_;
    int shows_ = 0;
    std::vector<rendered_menu_item> last_shown_;
};

class recording_ui : public ui {
public:
    recording_ui();
    explicit recording_ui(seams with);
    ~recording_ui() override;

    // ---- what the agent asked for
    // Every platform call that shows or changes something, in order, as
    // "name" or "name: argument" (queries such as `get_tray_icon` are not
    // recorded).
    std::vector<std::wstring> calls() const;
    std::size_t call_count() const;
    std::vector<std::wstring> opened_urls() const;
    std::vector<std::wstring> notifications() const;
    std::vector<std::wstring> status_messages() const;
    std::vector<std::wstring> blocked_items() const;
    std::vector<int> still_zone_minutes() const;
    int quit_requests() const;
    recording_tray_menu& menu() { return menu_; }

    // ---- how it answers
    void answer_confirmation(bool yes);
    void answer_start_at_login(bool starts);  // what the login item reads: at `init` and after a toggle
    void answer_troubleshooting_visible(bool visible);
    // The next `count` reads of the icon state throw (a std::exception, or
    // anything else), so the event loop's passes fail.
    void fail_next_passes(int count, bool with_std_exception = true);
    // The sign-in form, and what the user types into each second-factor
    // prompt, in order; once they run out the prompt is cancelled ("").
    void answer_sign_in(const std::wstring& email, const std::wstring& password);
    void answer_two_factor_codes(std::vector<std::wstring> codes);
    int two_factor_prompts() const;
    // The machine as the activation form describes it.
    void answer_computer(const std::wstring& brand, const std::wstring& model, const std::wstring& platform_version);
    // While held, a sign-in waits when it reads the e-mail address.
    void hold_sign_in();
    // Waits (up to 10 s) until a held sign-in is waiting; false if none came.
    bool wait_until_sign_in_held();
    void release_sign_in();
    // A checkbox of the troubleshooting window as the user clicked it
    // (indices in the window's order: error ... user4).
    void click_checkbox(std::size_t index, bool checked);

    // As the platform's `init`: the start-at-login items shown, 39 checked
    // from the login item; then the base `init`.
    void init() override;
    int run_gui() override { return 0; }
    void ux_open_url(const std::wstring& address) override;
    bool ask_confirmation(const std::wstring& message, const std::wstring& title) override;
    void check_for_updates_now() override;
    void ux_set_tray_icon(int state) override;
    int get_tray_icon() override;
    void set_status_message(const std::wstring& text) override;
    std::wstring get_username() override;
    std::wstring get_password() override;
    // Recorded with the refusal it shows, where there is one.
    std::wstring ask_two_factor_code(const std::wstring& refusal) override;
    void show_alert(const std::wstring& message, const std::wstring& title) override;
    std::wstring get_computer_brand() override;
    std::wstring get_computer_make() override;
    std::wstring get_computer_model() override;
    std::wstring get_platform_version() override;
    void show_activation_prompt() override;
    void set_state_post_activate() override;
    void no_op_21() override {}
    void show_user_notification(const std::wstring& text) override;
    void ux_show_offline_time() override;
    void ux_hide_offline_time() override;
    void ux_set_offline_time_labels(const std::vector<std::wstring>& labels) override;
    void ux_set_offline_time_start_time(const std::wstring& question) override;
    void ux_set_offline_time_elapsed_time(const std::wstring& elapsed) override;
    void show_still_zone_window() override;
    void hide_still_zone_window() override;
    void set_still_zone_minutes(int minutes) override;
    void on_blocked_item_focused(const std::wstring& item) override;
    void ux_set_dynamic1_text(const std::wstring& text) override;
    void show_preferences_window() override;
    void go_to_help() override;
    void set_help_info(const std::wstring& text) override;
    bool ux_toggle_start_at_login() override;
    void confirm_reset_configuration(std::function<void(bool confirmed)> answered) override;
    void open_in_finder(const std::wstring& path) override;
    void on_update_check_result(bool newer_version_available) override;
    bool is_troubleshooting_visible() override;
    void set_ts_debug_log_level(int mask) override;
    void set_ts_debug_log_location(const std::wstring& path) override;
    void set_ts_idle_time(std::int64_t seconds) override;
    void set_ts_os_username(const std::wstring& text) override;
    void set_ts_machine_name(const std::wstring& text) override;
    void set_ts_application_name(const std::wstring& text) override;
    void set_ts_application_version(const std::wstring& text) override;
    void set_ts_window_title(const std::wstring& text) override;
    void set_ts_extended_info(const std::wstring& text) override;
    bool get_control_checked_log_error() override { return checkbox(0); }
    bool get_control_checked_log_warning() override { return checkbox(1); }
    bool get_control_checked_log_info() override { return checkbox(2); }
    bool get_control_checked_log_debug() override { return checkbox(3); }
    bool get_control_checked_log_ctor() override { return checkbox(4); }
    bool get_control_checked_log_ui() override { return checkbox(5); }
    bool get_control_checked_log_network() override { return checkbox(6); }
    bool get_control_checked_log_service() override { return checkbox(7); }
    bool get_control_checked_log_url() override { return checkbox(8); }
    bool get_control_checked_log_user1() override { return checkbox(9); }
    bool get_control_checked_log_user2() override { return checkbox(10); }
    bool get_control_checked_log_user3() override { return checkbox(11); }
    bool get_control_checked_log_user4() override { return checkbox(12); }
    void set_control_checked_log_error(bool checked) override { set_checkbox(0, checked); }
    void set_control_checked_log_warning(bool checked) override { set_checkbox(1, checked); }
    void set_control_checked_log_info(bool checked) override { set_checkbox(2, checked); }
    void set_control_checked_log_debug(bool checked) override { set_checkbox(3, checked); }
    void set_control_checked_log_ctor(bool checked) override { set_checkbox(4, checked); }
    void set_control_checked_log_ui(bool checked) override { set_checkbox(5, checked); }
    void set_control_checked_log_network(bool checked) override { set_checkbox(6, checked); }
    void set_control_checked_log_service(bool checked) override { set_checkbox(7, checked); }
    void set_control_checked_log_url(bool checked) override { set_checkbox(8, checked); }
    void set_control_checked_log_user1(bool checked) override { set_checkbox(9, checked); }
    void set_control_checked_log_user2(bool checked) override { set_checkbox(10, checked); }
    void set_control_checked_log_user3(bool checked) override { set_checkbox(11, checked); }
    void set_control_checked_log_user4(bool checked) override { set_checkbox(12, checked); }
    system_tray_menu_interface* get_tray_menu() override { return &menu_; }
    void quit() override;

private:
    void record(const std::wstring& call);
    void record(const std::wstring& name, const std::wstring& argument);
    bool checkbox(std::size_t index) const;
    void set_checkbox(std::size_t index, bool checked);

    recording_tray_menu menu_;

    mutable std::mutex mutex_;
    std::vector<std::wstring> calls_;
    std::vector<std::wstring> opened_urls_;
    std::vector<std::wstring> notifications_;
    std::vector<std::wstring> status_messages_;
    std::vector<std::wstring> blocked_items_;
    std::vector<int> still_zone_minutes_;
    int quit_requests_ = 0;
    int tray_icon_state_ = 8;  // as the platform starts: no icon
    bool confirmation_answer_ = false;
    bool starts_at_login_ = true;
    bool troubleshooting_visible_ = false;
    int failing_passes_ = 0;
    bool fail_with_std_exception_ = true;
    std::array<bool, 13> checkboxes_{};
    std::wstring email_;
    std::wstring password_;
    std::deque<std::wstring> two_factor_codes_;
    int two_factor_prompts_ = 0;
    std::wstring computer_brand_;
    std::wstring computer_model_;
    std::wstring platform_version_;
    std::condition_variable sign_in_gate_;
    bool sign_in_held_ = false;
    bool sign_in_waiting_ = false;
};

}  // namespace kes::testing
