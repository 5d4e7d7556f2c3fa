#pragma once
// The user interface of the agent on this desktop: how the core reaches the
// screen. Each operation forwards to the application controller (the
// delegate, once it exists), hands a task to the main queue, shows an alert,
// or answers from the platform. It owns the status menu and keeps the login
// item registered as the "LaunchedAtLogin" default says.
//
// Nothing here touches a widget: alerts, notifications and page opening go
// through the desktop services, window work through the controller, which
// moves it to the main thread. With an empty desktop (tests, probes) the
// same object runs headless: nothing is shown and `run_gui` serves the main
// queue until quit.

#include "core/ui/ui.h"
#include "app/application_delegate.h"
#include "platform/desktop.h"
#include "platform/hardware_model.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class main_queue;
class notification_center;
}  // namespace platform

namespace kes {

class osx_ui;

// The login helper, as the desktop's login items know it.
inline constexpr const char* login_helper_identifier = "com.kestrel.Kestrel-Helper";
// The user default that says whether the agent starts at log-in.
inline constexpr const char* launched_at_login_default = "LaunchedAtLogin";
// In-process notifications the sign-in views observe.
inline constexpr const char* activation_status_notification = "KESActivationStatusNotification";
inline constexpr const char* activation_status_key = "KESActivationStatusKey";
inline constexpr const char* did_activate_notification = "KESDidActivateNotification";

// What the bridge works with; an empty member takes the default named.
struct osx_ui_services {
    platform::desktop desktop;               // empty members: nothing shown through them
    platform::main_queue* queue = nullptr;   // main_queue::instance()
    platform::notification_center* notifications = nullptr;  // the default centre
    // The native status menu, made by `init`; empty: a model drawn nowhere.
    std::function<std::unique_ptr<system_tray_menu_interface>()> make_tray_menu;
    // The application loop with its controller; empty: the main queue's own loop.
    std::function<int(osx_ui&)> run_application;
    // The wait before the two-factor prompt; empty: sleeps.
    std::function<void(std::chrono::milliseconds)> pause;
    // The computer's brand, make and model; empty: as the firmware names them.
    std::function<platform::computer_identity()> computer_identity;
};

class osx_ui : public ui {
public:
    // The services the process-wide UI is made with at the first
    // `ui::get_instance()`; `main` provides them before that call.
    static void provide_services(osx_ui_services services);
    // The process-wide UI's factory: a bridge with the services provided
    // (taken once), or the defaults when none were.
    static std::unique_ptr<ui> make_with_provided_services();

    explicit osx_ui(osx_ui_services services = {}, seams with = {});
    ~osx_ui() override;

    // ---- the controller
    // Set once, on the main thread, when the controller exists; kept until
    // this object ends.
    void set_delegate(std::shared_ptr<application_delegate> delegate);
    application_delegate* delegate() const { return delegate_.load(); }
    // Called once by the controller at launch: the status menu is drawn and
    // tells the controller when it opens.
    void install_status_menu();
    // At the orderly end, once no other thread runs: the controller and its
    // windows end, then the desktop services, so that the toolkit is shut
    // down in order. Later calls find no controller and no desktop.
    void end_desktop();
    const platform::desktop& desktop() const { return services_.desktop; }
    platform::main_queue& queue() const { return *services_.queue; }
    platform::notification_center& notifications() const { return *services_.notifications; }

    void init() override;
    int run_gui() override;
    void ux_open_url(const std::wstring& address) override;
    void show_alert(const std::wstring& message, const std::wstring& title) override;
    // The check the user asked for: the service is asked on the calling
    // thread (the UI loop's, never the main thread) and the update window
    // shows first that it runs, then what it found.
    void check_for_updates_now() override;
    void ux_set_tray_icon(int state) override;
    int get_tray_icon() override;
    void set_status_message(const std::wstring& text) override;
    std::wstring get_username() override;
    std::wstring get_password() override;
    // From the sign-in thread only: waits while the user types (the prompt
    // runs on the main thread, with the service's refusal of the last code
    // under its question); "" on Cancel, Escape, or when refused on the main
    // thread itself.
    std::wstring ask_two_factor_code(const std::wstring& refusal) override;
    std::wstring get_computer_brand() override;
    std::wstring get_computer_make() override;
    std::wstring get_computer_model() override;
    std::wstring get_platform_version() override;
    void show_activation_prompt() override {}
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
    void ux_set_dynamic1_text(const std::wstring& text) override;
    void show_preferences_window() override;
    void go_to_help() override;
    void set_help_info(const std::wstring& text) override;
    bool ux_toggle_start_at_login() override;
    void confirm_reset_configuration(std::function<void(bool confirmed)> answered) override;
    void open_in_finder(const std::wstring& path) override;
    // Tells of what a check found: a check the user asked for in the update
    // window, a newer version found without the user once per version.
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
    bool get_control_checked_log_error() override { return checked(log_checkbox::error); }
    bool get_control_checked_log_warning() override { return checked(log_checkbox::warning); }
    bool get_control_checked_log_info() override { return checked(log_checkbox::info); }
    bool get_control_checked_log_debug() override { return checked(log_checkbox::debug); }
    bool get_control_checked_log_ctor() override { return checked(log_checkbox::ctor); }
    bool get_control_checked_log_ui() override { return checked(log_checkbox::ui); }
    bool get_control_checked_log_network() override { return checked(log_checkbox::network); }
    bool get_control_checked_log_service() override { return checked(log_checkbox::service); }
    bool get_control_checked_log_url() override { return checked(log_checkbox::url); }
    bool get_control_checked_log_user1() override { return checked(log_checkbox::user1); }
    bool get_control_checked_log_user2() override { return checked(log_checkbox::user2); }
    bool get_control_checked_log_user3() override { return checked(log_checkbox::user3); }
    bool get_control_checked_log_user4() override { return checked(log_checkbox::user4); }
    void set_control_checked_log_error(bool on) override { set_checked(log_checkbox::error, on); }
    void set_control_checked_log_warning(bool on) override { set_checked(log_checkbox::warning, on); }
    void set_control_checked_log_info(bool on) override { set_checked(log_checkbox::info, on); }
    void set_control_checked_log_debug(bool on) override { set_checked(log_checkbox::debug, on); }
    void set_control_checked_log_ctor(bool on) override { set_checked(log_checkbox::ctor, on); }
    void set_control_checked_log_ui(bool on) override { set_checked(log_checkbox::ui, on); }
    void set_control_checked_log_network(bool on) override { set_checked(log_checkbox::network, on); }
    void set_control_checked_log_service(bool on) override { set_checked(log_checkbox::service, on); }
    void set_control_checked_log_url(bool on) override { set_checked(log_checkbox::url, on); }
    void set_control_checked_log_user1(bool on) override { set_checked(log_checkbox::user1, on); }
    void set_control_checked_log_user2(bool on) override { set_checked(log_checkbox::user2, on); }
    void set_control_checked_log_user3(bool on) override { set_checked(log_checkbox::user3, on); }
    void set_control_checked_log_user4(bool on) override { set_checked(log_checkbox::user4, on); }
    system_tray_menu_interface* get_tray_menu() override { return tray_menu_.get(); }
    void quit() override;

private:
    bool checked(log_checkbox box);
    void set_checked(log_checkbox box, bool on);
    const platform::computer_identity& identity();
    // "Session: " and what this kind of desktop session lets the agent read.
    static std::wstring session_line();
    void show_update_check(update_check_report::outcome found);

    osx_ui_services services_;
    std::unique_ptr<system_tray_menu_interface> tray_menu_;  // made by `init`
    // The thread that runs update checks only: whether the running one was
    // asked for by the user, and the newer version the user was last told of.
    bool update_check_asked_by_user_ = false;
    std::wstring announced_version_;
    std::atomic<int> tray_icon_state_{8};                     // no image until the loop picks one
    std::shared_ptr<application_delegate> delegate_owner_;
    std::atomic<application_delegate*> delegate_{nullptr};
    // The system's version text does not change while the agent runs; the
    // help text shows it every two seconds.
    std::once_flag platform_version_read_;
    std::wstring platform_version_;
    // Nor does the firmware's description of the computer.
    std::once_flag computer_identity_read_;
    platform::computer_identity computer_identity_;
};

// The bit of the debug-log mask each troubleshooting checkbox stands for.
std::uint32_t log_checkbox_bit(log_checkbox box);

}  // namespace kes
