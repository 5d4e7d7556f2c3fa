#pragma once
// The user interface as the rest of the agent sees it: the one way any other
// component reaches the user. A platform layer supplies the pure operations;
// the base holds the shared logic: the menu actions, pausing and focus
// sessions, sign-in, offline-time entry, the troubleshooting window's logic,
// and the body of the UI event-handler thread, which every 500 ms brings the
// icon, menu, status line, offline-time prompt, alerts, focus session,
// troubleshooting fields, update check and help text into line with the
// configuration and calls the platform only where something changed.

#include "core/foundation/noncopyable.h"
#include "core/foundation/serial_worker.h"
#include "core/ui/menu_state.h"
#include "core/ui/system_tray_menu.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace Kestrel::Network {
class API;
}

namespace kes {

class config;
class log_entry;
class puller;
class secret_in_use;
class system;
namespace network {
class request;
}

namespace tray_icon {
inline constexpr int normal = 0;
inline constexpr int paused = 1;
inline constexpr int alert = 4;
inline constexpr int none = 8;
}  // namespace tray_icon

class ui : public noncopyable, public system_tray_menu_listener {
public:
    using factory = std::function<std::unique_ptr<ui>()>;

    // The process-wide UI, made by the installed factory and initialised on
    // the first call (made by `main` on the main thread). Never destroyed
    // while threads may use it. Throws std::logic_error while no factory is
    // installed.
    static ui* get_instance();
    // The program's entry installs the desktop's kind before the first
    // `get_instance`.
    static void install_factory(factory make);

    // What the UI works with; an empty member takes the real one.
    struct seams {
        std::shared_ptr<kes::system> platform_system;  // system::create(): idle time, paths
        // The event thread's sleep: false once the thread is told to stop.
        // The daemon's UI slot by default.
        std::function<bool(std::chrono::milliseconds)> wait_for_stop;
        // The web-service client of the sign-in and the update check; it must
        // outlive this object. The process-wide client by default.
        Kestrel::Network::API* service_client = nullptr;
        // Where entered offline time goes: the activity logger by default.
        std::function<void(const log_entry&)> record_activity;
        // Runs the focus-session requests of the menu and the focus window,
        // one after the other: a thread of the UI's own by default.
        std::function<void(std::function<void()>)> run_focus_request;
    };

    ui();
    explicit ui(seams with);
    ~ui() override;

    // A menu selection, by item id (main thread).
    void on_menu_action(int item_id) override;
    // The platform builds the menu, then calls this base `init` (defined
    // although pure), which makes this object the menu's listener.
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
    // `refusal` is the service's word on the code entered last; empty at
    // the first prompt.
    virtual std::wstring ask_two_factor_code(const std::wstring& refusal);
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
    // Asks the user whether to reset the configuration. Never waits for the
    // answer: `answered` runs on the main thread once the user has chosen
    // (true only for the first button).
    virtual void confirm_reset_configuration(std::function<void(bool confirmed)> answered) = 0;
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
    // service request runs on the calling thread. Starting, ending and the
    // event loop's noticing of an end are serialised, so a session that is
    // being extended is never taken for one that ended.
    void on_get_focused(int minutes);
    void end_focus_session();
    // The same for the menu and the focus window, which must never wait for
    // the service: a length out of range is refused at once, the request
    // runs on the focus-request thread, and a session the service did not
    // confirm is told to the user with an alert. Returns at once.
    void request_focus_session(int minutes);
    // For the controller: opens the custom focus-session window.
    void on_show_still_zone_window();

    // ---- sign-in
    // How a sign-in ended.
    enum class sign_in_result {
        signed_in,  // the service accepted: the keys are stored
        failed,     // empty input or a service failure: the status line says why
        cancelled,  // the second-factor prompt was cancelled (or the UI is closing)
        busy,       // another sign-in was running; this one did nothing
    };
    // Called on the sign-in thread once the sign-in has ended. It must not
    // wait for the main thread, start another sign-in, or touch a window
    // that may have gone: hand the work to the main queue (asynchronously)
    // and check there that the window still exists.
    using sign_in_done = std::function<void(sign_in_result)>;

    // The entry the sign-in windows call: signs in on a thread of its own
    // with the e-mail and password that `get_username` and `get_password`
    // answer. False (and nothing started) while another sign-in runs or once
    // sign-in was closed. Status texts arrive through the status
    // line; success also through `set_state_post_activate`.
    bool start_sign_in(sign_in_done on_done = {});
    bool is_signing_in() const { return sign_in_running_.load(); }
    // Lets a running sign-in end at its next step (no further prompts, no
    // post-activation state); no sign-in starts afterwards. Returns at once.
    void close_sign_in();
    // Closes, then waits for the sign-in thread. Platform destructors call
    // this first. Called on the main thread, the main queue must be closed
    // first, or a waiting prompt would never return.
    void finish_sign_in();
    // Finishes the sign-in as above and the focus-session requests: those
    // not started are dropped, a running one is waited for (a stopped agent
    // aborts its transfer). The orderly end and platform destructors call
    // this first.
    void finish_requests();

    // The sign-in itself, run synchronously on the caller's thread (never the
    // main thread: the second-factor prompt waits for it). One at a time:
    // a second caller returns at once.
    void on_activate_thread();
    sign_in_result sign_in();
    // Thread body for platform code that makes its own thread.
    static void on_activate_thread_entry(ui* target);
    // Re-checks the stored account with the service, without the user.
    void on_verify();
    // The computer fields of an activation request.
    void add_computer_params(network::request& activation);

    // ---- offline time (main thread)
    // Records the current away period as offline time: `label` is what the
    // user was doing, `details` what they typed (the field's placeholder
    // text counts as nothing).
    void on_enter_offline_time(const std::wstring& label, const std::wstring& details);
    // Closes the prompt; minutes > 0 also keeps it away for an hour.
    void on_dismiss_offline_time(int minutes);

    // ---- troubleshooting window (main thread)
    // The debug-log mask into the checkboxes, and the checkboxes into the mask.
    void set_log_category_checkboxes();
    void on_debug_level_changed();
    // Resets the configuration once the user has confirmed it.
    void on_reset_config();
    void on_open_directory();

    // The short-lived pullers that tell the service about focus sessions;
    // tests give their own.
    using puller_factory = std::function<std::unique_ptr<puller>()>;
    void set_puller_factory(puller_factory factory);

    // Body of the UI event-handler thread, started by the daemon: waits
    // 2.5 s, then runs a pass every 500 ms until told to stop. A failed pass
    // runs again at once; the 11th failure in a row ends the thread.
    void event_handler();

    // One pass of the loop: the heartbeat, then (once the GUI has loaded)
    // the pause clean-up and the twelve steps below, in this order.
    void run_event_pass();

    void display_tray_icon();
    void set_ui_state();
    void set_menu_item_state();
    void update_status_text();
    void display_offline_time();
    void display_alerts();
    void check_unpause_alert();
    void display_survey();
    void display_still_zone();
    void refresh_troubleshooting();
    bool check_for_updates(bool user_requested);
    void refresh_help_info();

    // The platform's idle time in whole seconds, clamped to 0 .. one year
    // (a broken clock or counter must not overflow the date arithmetic).
    std::int64_t idle_seconds();

protected:
    config* configuration_;
    std::shared_ptr<system> platform_system_;
    Kestrel::Network::API& service_client_;

    // The current away period, for the offline-time prompt and its entry
    // (the main thread's offline-time operations share it). It ends where
    // it was last measured away; `over` once the user was seen back, so that
    // the next absence starts a period of its own.
    struct away_period {
        boost::posix_time::ptime since{boost::posix_time::not_a_date_time};
        boost::posix_time::time_duration duration{0, 0, 0};
        bool over = false;
    };
    // An absence this long (in seconds) is no longer asked about, nor entered.
    static constexpr std::int64_t away_cut_off_seconds = 14400;
    // A dismissal holds the prompt off this long.
    static constexpr int offline_dismissal_minutes = 60;
    away_period get_away_period() const;
    void end_away_period();

    // Set once sign-in asked for; cleared by a completed sign-in.
    std::atomic<bool> activation_prompt_shown_{false};

    // The released version the last answered update check learned, as
    // "major.minor.revision.build"; `on_update_check_result` tells of it.
    // The thread that runs the checks only.
    const std::wstring& released_version() const { return released_version_; }

private:
    // The store's dismissal time, brought back to now when it lies further
    // ahead than what set it could reach (the wall clock went back).
    boost::posix_time::ptime offline_prompt_dismissed_until();

    enum class focus_outcome { started, ended, refused, failed };
    // False, after logging and resetting the window's minutes, for a length
    // no session can have.
    bool accepts_focus_length(int minutes);
    focus_outcome run_focus_request(int minutes);
    std::unique_ptr<puller> make_puller() const;
    void run_sign_in_thread(const sign_in_done& done);
    using secrets = std::vector<std::unique_ptr<secret_in_use>>;
    sign_in_result sign_in_locked(const std::wstring& email, const std::wstring& password, secrets& hidden);
    void store_activation(const std::wstring& account_key, const std::wstring& data_key);
    void withdraw_activation();
    // Takes the away period and ends it, so that one period is entered once.
    away_period take_away_period();
    bool wait_for_stop(std::chrono::milliseconds duration);
    void pause_for(const wchar_t* log_line, const wchar_t* notice, const boost::posix_time::ptime& until);
    void end_focus_session_locked();
    // Every setting back to its default and no account key (sign-out, the
    // troubleshooting reset). The windows stay loaded, so the loop goes on
    // serving them: the user is asked to sign in again in this run.
    void reset_configuration();

    std::function<bool(std::chrono::milliseconds)> wait_for_stop_;

    mutable std::mutex puller_factory_mutex_;
    puller_factory puller_factory_;

    // Serialises starting and ending a focus session with the loop's check
    // for a session that ended.
    std::mutex focus_mutex_;
    serial_worker focus_requests_{"kes-focus"};
    std::function<void(std::function<void()>)> run_focus_request_;

    mutable std::mutex away_mutex_;
    away_period away_;
    // The end the last dismissal set (under away_mutex_, with the store's
    // dismissal time). While the store still holds it, the prompt may be
    // held off up to a dismissal's length ahead; otherwise the store holds
    // the moment its defaults were applied, which never lies ahead.
    boost::posix_time::ptime offline_dismissal_end_{boost::posix_time::not_a_date_time};

    std::function<void(const log_entry&)> record_activity_;

    // One sign-in at a time, whoever starts it.
    std::mutex sign_in_mutex_;
    std::atomic<bool> sign_in_running_{false};
    std::atomic<bool> sign_in_closing_{false};
    std::mutex sign_in_thread_mutex_;  // guards sign_in_thread_
    std::thread sign_in_thread_;

    // The loop's memory of what it last showed (event thread only).
    std::wstring shown_window_title_;
    std::wstring shown_extended_info_;
    bool troubleshooting_refresh_forced_ = true;
    bool troubleshooting_was_visible_ = false;
    std::wstring shown_status_text_;
    std::int32_t shown_debug_log_level_ = 0;
    std::wstring shown_survey_address_;
    std::vector<std::wstring> shown_offline_time_labels_;
    bool status_was_paused_ = false;
    bool pause_alert_armed_ = false;
    bool focus_session_running_ = false;
    std::int32_t help_passes_ = 10;
    std::wstring help_text_;  // kept between rebuilds for its storage
    // An unattended update check that got no answer is tried again from
    // then on, not at every pass.
    boost::posix_time::ptime update_check_retry_after_;
    std::wstring released_version_;
    bool offline_prompt_armed_ = false;
    bool offline_prompt_hidden_ = true;
    // The facts of the menu state last applied and the menu's change count
    // right after: while both hold, setting it again would change nothing.
    std::optional<menu_facts> applied_menu_facts_;
    std::uint64_t menu_changes_after_apply_ = 0;
    system_tray_menu_interface* applied_menu_ = nullptr;
};

}  // namespace kes
