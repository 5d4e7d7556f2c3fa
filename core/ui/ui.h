#pragma once
// The user interface as the rest of the agent sees it: the one way any other
// component reaches the user. A platform layer supplies the pure operations;
// the base holds the shared logic and the body of the UI event-handler thread.

#include "core/foundation/noncopyable.h"
#include "core/ui/system_tray_menu.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kes {

class config;
class puller;
class system;

namespace tray_icon {
inline constexpr int normal = 0;
inline constexpr int paused = 1;
inline constexpr int alert = 4;
inline constexpr int none = 8;
}  // namespace tray_icon

class ui : public noncopyable, public system_tray_menu_listener {
public:
    // The process-wide UI, created and initialised on the first call (made by
    // `main` on the main thread). Never destroyed while threads may use it.
    static ui* get_instance();

    ui();
    ~ui() override;

    void on_menu_action(int item_id) override;
    virtual void init() = 0;
    virtual int run_gui() = 0;
    virtual void ux_open_url(const std::wstring& address) = 0;
    virtual void show_alert(const std::wstring& message, const std::wstring& title);
    virtual bool ask_confirmation(const std::wstring& message, const std::wstring& title);
    virtual void check_for_updates_now();
    virtual void ux_set_tray_icon(int state);
    virtual int get_tray_icon();
    virtual void set_status_message(const std::wstring& text);
    virtual std::wstring get_username();
    virtual std::wstring get_password();
    virtual std::wstring ask_two_factor_code();
    virtual std::wstring get_computer_brand();
    virtual std::wstring get_computer_make();
    virtual std::wstring get_computer_model();
    virtual std::wstring get_platform_version();
    virtual void show_activation_prompt() = 0;
    virtual void set_state_post_activate() = 0;
    virtual void no_op_21() = 0;
    virtual void show_user_notification(const std::wstring& text);
    virtual void ux_show_offline_time() = 0;
    virtual void ux_hide_offline_time() = 0;
    virtual void ux_set_offline_time_labels(const std::vector<std::wstring>& labels) = 0;
    virtual void ux_set_offline_time_start_time(const std::wstring& question) = 0;
    virtual void ux_set_offline_time_elapsed_time(const std::wstring& elapsed) = 0;
    virtual void show_still_zone_window() = 0;
    virtual void hide_still_zone_window() = 0;
    virtual void set_still_zone_minutes(int minutes) = 0;
    virtual void on_blocked_item_focused(const std::wstring& item);
    virtual void on_unblocked_item_focused(const std::wstring& item);
    virtual void no_op_33();
    virtual void ux_set_dynamic1_text(const std::wstring& text) = 0;
    virtual void show_preferences_window() = 0;
    virtual void go_to_help() = 0;
    virtual void set_help_info(const std::wstring& text) = 0;
    virtual bool ux_toggle_start_at_login();
    virtual bool confirm_reset_configuration() = 0;
    virtual void open_in_finder(const std::wstring& path) = 0;
    virtual void on_update_check_result(bool newer_version_available) = 0;
    virtual bool is_troubleshooting_visible() = 0;
    virtual void set_ts_debug_log_level(int mask) = 0;
    virtual void set_ts_debug_log_location(const std::wstring& path) = 0;
    virtual void set_ts_idle_time(std::int64_t seconds) = 0;
    virtual void set_ts_os_username(const std::wstring& text) = 0;
    virtual void set_ts_machine_name(const std::wstring& text) = 0;
    virtual void set_ts_application_name(const std::wstring& text) = 0;
    virtual void set_ts_application_version(const std::wstring& text) = 0;
    virtual void set_ts_window_title(const std::wstring& text) = 0;
    virtual void set_ts_extended_info(const std::wstring& text) = 0;
    // Troubleshooting checkboxes, one per debug-log category.
    virtual bool get_control_checked_log_error() = 0;
    virtual bool get_control_checked_log_warning() = 0;
    virtual bool get_control_checked_log_info() = 0;
    virtual bool get_control_checked_log_debug() = 0;
    virtual bool get_control_checked_log_ctor() = 0;
    virtual bool get_control_checked_log_ui() = 0;
    virtual bool get_control_checked_log_network() = 0;
    virtual bool get_control_checked_log_service() = 0;
    virtual bool get_control_checked_log_url() = 0;
    virtual bool get_control_checked_log_user1() = 0;
    virtual bool get_control_checked_log_user2() = 0;
    virtual bool get_control_checked_log_user3() = 0;
    virtual bool get_control_checked_log_user4() = 0;
    virtual void set_control_checked_log_error(bool checked) = 0;
    virtual void set_control_checked_log_warning(bool checked) = 0;
    virtual void set_control_checked_log_info(bool checked) = 0;
    virtual void set_control_checked_log_debug(bool checked) = 0;
    virtual void set_control_checked_log_ctor(bool checked) = 0;
    virtual void set_control_checked_log_ui(bool checked) = 0;
    virtual void set_control_checked_log_network(bool checked) = 0;
    virtual void set_control_checked_log_service(bool checked) = 0;
    virtual void set_control_checked_log_url(bool checked) = 0;
    virtual void set_control_checked_log_user1(bool checked) = 0;
    virtual void set_control_checked_log_user2(bool checked) = 0;
    virtual void set_control_checked_log_user3(bool checked) = 0;
    virtual void set_control_checked_log_user4(bool checked) = 0;
    virtual system_tray_menu_interface* get_tray_menu() = 0;
    virtual void quit() = 0;

    // Starts a focus session of 1 to 1,440 minutes (-1: until the next
    // midnight) at the service and locally; 0 ends the running one. The
    // service request runs on the calling thread.
    void on_get_focused(int minutes);
    void end_focus_session();

    // The short-lived pullers that tell the service about focus sessions;
    // tests give their own.
    using puller_factory = std::function<std::unique_ptr<puller>()>;
    void set_puller_factory(puller_factory factory);

    // Called by the platform's `init` once the menu exists.
    void init_common();

    // Body of the UI event-handler thread, started by the daemon; returns when
    // the daemon signals the UI slot to stop.
    void event_handler();

protected:
    config* configuration_;
    std::shared_ptr<system> platform_system_;

private:
    std::unique_ptr<puller> make_puller() const;

    mutable std::mutex puller_factory_mutex_;
    puller_factory puller_factory_;
};

}  // namespace kes
