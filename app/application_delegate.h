#pragma once
// What the UI bridge asks of the application controller (`KestrelController`),
// the object that owns the status item and the agent's windows. The bridge
// calls these on whatever thread it was called on; the controller moves its
// window work to the main queue itself, and its getters answer from values it
// keeps current, so no caller ever waits for the main thread.

#include <cstdint>
#include <string>

namespace kes {

// The troubleshooting window's debug-log checkboxes, in the bridge's order.
enum class log_checkbox { error, warning, info, debug, ctor, ui, network, service, url, user1, user2, user3, user4 };
inline constexpr int log_checkbox_count = 13;

// What an update check the user asked for has found so far.
struct update_check_report {
    enum class outcome { checking, newer, newest, failed };
    outcome found = outcome::checking;
    std::wstring released_version;  // newer: the version the service offers
    std::wstring running_version;

    bool operator==(const update_check_report& other) const {
        return found == other.found && released_version == other.released_version &&
               running_version == other.running_version;
    }
};

class application_delegate {
public:
    virtual ~application_delegate() = default;

    // Status item: 1 paused, 2 and 4 alert, 8 no image (hidden), else normal.
    virtual void ux_set_tray_icon(int state) = 0;
    // Opens the status menu (a second start of the agent asks for it).
    virtual void openStatusMenu() = 0;
    // The status menu is about to open.
    virtual void menuWillOpen() = 0;

    // Sign-in: status texts, the signal that it succeeded, the window that
    // holds the form, and the e-mail and password the form was given.
    virtual void setStatusMessage(const std::wstring& text, int mode) = 0;
    virtual void set_state_post_activate() = 0;
    virtual void showPreferencesWindow() = 0;
    virtual bool isActivated() = 0;
    virtual std::wstring username() const = 0;
    virtual std::wstring password() const = 0;

    // Help (Shift held: troubleshooting) and its diagnostic text.
    virtual void goToHelp() = 0;
    virtual void set_help_info(const std::wstring& text) = 0;
    virtual void set_dynamic1_text(const std::wstring& text) = 0;

    // The offline-time panel.
    virtual void show_offline_time_window() = 0;
    virtual void hide_offline_time_window() = 0;
    virtual void ux_set_offline_time_labels() = 0;
    virtual void ux_set_offline_time_start_time(const std::wstring& text) = 0;
    virtual void ux_set_offline_time_elapsed_time(const std::wstring& text) = 0;

    // The focus-session panel.
    virtual void show_still_zone_window() = 0;
    virtual void hide_still_zone_window() = 0;
    virtual void set_still_zone_minutes(int minutes) = 0;

    // The update window: shows what a check the user asked for found, with
    // a way to the download page when a newer version is offered.
    virtual void show_update_check(const update_check_report& report) = 0;

    // The troubleshooting window.
    virtual bool is_troubleshooting_visible() = 0;
    virtual void set_ts_debug_log_level(int mask) = 0;
    virtual void set_ts_idle_time(std::int64_t seconds) = 0;
    virtual void set_ts_debug_log_location(const std::wstring& text) = 0;
    virtual void set_ts_os_username(const std::wstring& text) = 0;
    virtual void set_ts_machine_name(const std::wstring& text) = 0;
    virtual void set_ts_application_name(const std::wstring& text) = 0;
    virtual void set_ts_application_version(const std::wstring& text) = 0;
    virtual void set_ts_window_title(const std::wstring& text) = 0;
    virtual void set_ts_extended_info(const std::wstring& text) = 0;
    virtual bool get_control_checked_log(log_checkbox box) = 0;
    virtual void set_control_checked_log(log_checkbox box, bool checked) = 0;
};

}  // namespace kes
