#pragma once
// The user interface of the agent on this desktop. Until the status menu and
// windows exist it is headless: the menu model is kept but drawn nowhere, and
// `run_gui` serves the main queue until quit.

#include "core/ui/ui.h"

#include <atomic>
#include <memory>

namespace kes {

class osx_ui : public ui {
public:
    osx_ui();
    explicit osx_ui(seams with);
    ~osx_ui() override;

    void init() override;
    int run_gui() override;
    void ux_open_url(const std::wstring& address) override;
    void ux_set_tray_icon(int state) override;
    int get_tray_icon() override;
    void show_activation_prompt() override {}
    void set_state_post_activate() override {}
    void no_op_21() override {}
    void ux_show_offline_time() override {}
    void ux_hide_offline_time() override {}
    void ux_set_offline_time_labels(const std::vector<std::wstring>&) override {}
    void ux_set_offline_time_start_time(const std::wstring&) override {}
    void ux_set_offline_time_elapsed_time(const std::wstring&) override {}
    void show_still_zone_window() override {}
    void hide_still_zone_window() override {}
    void set_still_zone_minutes(int) override {}
    void ux_set_dynamic1_text(const std::wstring&) override {}
    void show_preferences_window() override {}
    void go_to_help() override {}
    void set_help_info(const std::wstring&) override {}
    bool confirm_reset_configuration() override { return false; }
    void open_in_finder(const std::wstring&) override {}
    void on_update_check_result(bool) override {}
    bool is_troubleshooting_visible() override { return false; }
    void set_ts_debug_log_level(int) override {}
    void set_ts_debug_log_location(const std::wstring&) override {}
    void set_ts_idle_time(std::int64_t) override {}
    void set_ts_os_username(const std::wstring&) override {}
    void set_ts_machine_name(const std::wstring&) override {}
    void set_ts_application_name(const std::wstring&) override {}
    void set_ts_application_version(const std::wstring&) override {}
    void set_ts_window_title(const std::wstring&) override {}
    void set_ts_extended_info(const std::wstring&) override {}
    bool get_control_checked_log_error() override { return false; }
    bool get_control_checked_log_warning() override { return false; }
    bool get_control_checked_log_info() override { return false; }
    bool get_control_checked_log_debug() override { return false; }
    bool get_control_checked_log_ctor() override { return false; }
    bool get_control_checked_log_ui() override { return false; }
    bool get_control_checked_log_network() override { return false; }
    bool get_control_checked_log_service() override { return false; }
    bool get_control_checked_log_url() override { return false; }
    bool get_control_checked_log_user1() override { return false; }
    bool get_control_checked_log_user2() override { return false; }
    bool get_control_checked_log_user3() override { return false; }
    bool get_control_checked_log_user4() override { return false; }
    void set_control_checked_log_error(bool) override {}
    void set_control_checked_log_warning(bool) override {}
    void set_control_checked_log_info(bool) override {}
    void set_control_checked_log_debug(bool) override {}
    void set_control_checked_log_ctor(bool) override {}
    void set_control_checked_log_ui(bool) override {}
    void set_control_checked_log_network(bool) override {}
    void set_control_checked_log_service(bool) override {}
    void set_control_checked_log_url(bool) override {}
    void set_control_checked_log_user1(bool) override {}
    void set_control_checked_log_user2(bool) override {}
    void set_control_checked_log_user3(bool) override {}
    void set_control_checked_log_user4(bool) override {}
    system_tray_menu_interface* get_tray_menu() override { return tray_menu_.get(); }
    void quit() override;

private:
    std::unique_ptr<system_tray_menu_interface> tray_menu_;  // made by `init`
    std::atomic<int> tray_icon_state_{8};                     // no icon until the loop picks one
};

}  // namespace kes
