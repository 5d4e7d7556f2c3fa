#pragma once
// The application controller: it owns the status item's images, the setup
// popover, the preferences window controller and the windows of the main
// window layout (offline time, focus session, troubleshooting, help), runs
// the application loop, and answers what the UI bridge asks of it.
//
// Made on the main thread; every window is touched there only. What the UI
// thread or the puller asks for is handed to the main queue, and what they
// read (window visibility, checkbox states) comes from values kept current
// here, so no caller waits for the main thread.

#include "app/application_delegate.h"
#include "gui/bundle_images.h"
#include "gui/kestrel_layout.h"
#include "gui/no_tray_notice.h"
#include "gui/on_demand_window.h"
#include "gui/update_window.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/notification_center.h"
#include "platform/session_kind.h"
#include "platform/status_item.h"

class QAction;
class QMessageBox;
class QWidget;

namespace kes {

class AutomationMessagingViewController;
class config;
class osx_PreferencesWindow;
class osx_Popover;
class osx_ui;
class segmented_control;

// The user default that says the Automation explanation was shown once.
inline constexpr const char* automation_alert_shown_default = "com.kestrel.Kestrel.HasShownMojaveAutomationAlertBefore";
// Asks a running agent to open its status menu (a second copy was started).
inline constexpr const char* opening_instance_notification_name = "com.kestrel.Kestrel.openingKestrelInstance";
// The user default that keeps the Dock-icon choice (the bundle stays as installed).
inline constexpr const char* dock_icon_default = "NSUIElement";
// The launch argument of a start by the installer: the setup popover shows.
inline constexpr const char* installer_launch_argument = "-installer_launch";

// What the controller works with; an empty member takes the real one.
struct controller_seams {
    std::string resource_dir;                     // the bundle's Resources folder
    std::optional<platform::session_kind> session;  // unless given: this process's
    std::function<bool()> accessibility_trusted;  // the agent can read other windows (in that session)
    std::vector<std::string> launch_arguments;    // unless given: this process's
    bool launch_arguments_given = false;
    std::function<bool()> send_debug_log;         // the pusher's upload of the debug log
    std::function<bool()> install_launcher;       // Kestrel's entry among the user's applications
};

class KestrelController final : public QObject, public application_delegate {
public:
    using seams = controller_seams;

    // The application loop: makes the controller with the main window layout,
    // runs the launch steps and the toolkit's loop until quit, and returns 0.
    // What escapes the loop is logged; the orderly end follows in any case.
    static int runGui(osx_ui& bridge, seams with = {});

    // The controller of the main window layout: `init` and `awakeFromNib`.
    KestrelController(osx_ui& bridge, seams with = {});
    ~KestrelController() override;

    void awakeFromNib();
    void applicationDidFinishLaunching();

    // ---- application_delegate
    void ux_set_tray_icon(int state) override;
    void openStatusMenu() override;
    void menuWillOpen() override;
    void setStatusMessage(const std::wstring& text, int mode) override;
    void set_state_post_activate() override;
    void showPreferencesWindow() override;
    bool isActivated() override;
    // Whether the agent may read the window in front (the setup asks for it).
    bool isProcessTrusted();
    // The kind of desktop session: in a Wayland one no permission helps.
    platform::session_kind sessionKind() const { return *seams_.session; }
    std::wstring username() const override;
    std::wstring password() const override;
    void goToHelp() override;
    void set_help_info(const std::wstring& text) override;
    void set_dynamic1_text(const std::wstring& text) override;
    void show_offline_time_window() override;
    void hide_offline_time_window() override;
    void ux_set_offline_time_labels() override;
    void ux_set_offline_time_start_time(const std::wstring& text) override;
    void ux_set_offline_time_elapsed_time(const std::wstring& text) override;
    void show_still_zone_window() override;
    void hide_still_zone_window() override;
    void set_still_zone_minutes(int minutes) override;
    void show_update_check(const update_check_report& report) override;
    bool is_troubleshooting_visible() override;
    void set_ts_debug_log_level(int mask) override;
    void set_ts_idle_time(std::int64_t seconds) override;
    void set_ts_debug_log_location(const std::wstring& text) override;
    void set_ts_os_username(const std::wstring& text) override;
    void set_ts_machine_name(const std::wstring& text) override;
    void set_ts_application_name(const std::wstring& text) override;
    void set_ts_application_version(const std::wstring& text) override;
    void set_ts_window_title(const std::wstring& text) override;
    void set_ts_extended_info(const std::wstring& text) override;
    bool get_control_checked_log(log_checkbox box) override;
    void set_control_checked_log(log_checkbox box, bool checked) override;

    // ---- the sign-in views hand over what the user typed
    void setUsername(const std::wstring& text);
    void setPassword(const std::wstring& text);

    // ---- actions of the windows (main thread)
    void aboutPanel();
    void takeSurvey();
    void goToHelpWebsite();
    void copyHelpInfoToClipboard();
    // Uploads the debug log on a thread of its own, then tells the user; a
    // click while an upload runs is ignored. False when ignored.
    bool sendDebugLog();
    void toggleDockIcon();
    void openTroubleshooting();
    void goToOfflineTimeEntry();
    void dismissOfflineTimeFor1hour();
    void goToOfflineTimeSettings();
    void cancelAFKEntry();
    void showAFKDetails(segmented_control& sender);
    void on_submit_offline_time(const QObject* sender);
    void displayBlockingPanel();
    void on_blockingOKButton();
    void blockingScoreLinkClicked();
    void ts_debug_level_changed();
    void ts_reset_configuration_clicked();
    void ts_open_directory_clicked();
    void startUpdate();

    // ---- further methods
    void statusItemDidMove();
    // Whether the popover follows the status item by looking now and then.
    bool isFollowingStatusItem() const { return popover_follower_.isActive(); }
    void showSetupPopover();
    void showAutomationAlertIfNotSeen();
    bool sleeping();
    void setSleeping(bool value) { sleeping_ = value; }
    // The bundle's resources (images of the windows).
    const std::string& resourceDirectory() const { return seams_.resource_dir; }
    // The application's Info.plist, found beside the bundle's resources.
    std::string getPlistPath();
    // A duration for people: "< 1 m", "42m", "3h 07m", or days as "2.31 d"
    // beyond 36 hours.
    static std::wstring getHmsTime(double seconds);

    // The text of the chosen offline-time label ("Offline Time - " + label).
    std::wstring chosen_offline_time_label() const { return chosen_label_; }
    // Which image each state shows; empty: none.
    std::string status_image_for(int state) const;

    // ---- the windows of the main window layout, each built when it first
    // opens and released once closed: null while released
    offline_time_panel* offlineTimePanel() const { return offline_.get(); }
    focus_panel* focusPanel() const { return focus_.get(); }
    troubleshooting_window* troubleshootingWindow() const { return troubleshooting_.get(); }
    help_window* helpWindow() const { return help_.get(); }
    update_window* updateWindow() const { return update_.get(); }
    // The menu item whose title `set_dynamic1_text` sets.
    QAction& dynamic1() const { return *dynamic1_; }

    bundle_image _kestrel_icon_normal, _kestrel_icon_paused, _kestrel_icon_alert;
    bundle_image _kestrel_dock_normal, _kestrel_dock_paused, _kestrel_dock_alert;

    osx_Popover* popover() const { return popover_.get(); }
    bool isSetupWindowShown() const;
    osx_PreferencesWindow* preferencesWC() const { return preferences_.get(); }
    QWidget* automationWindow() const { return automation_window_.get(); }
    // How to reach Kestrel without a tray; shown once, at a launch without
    // one. Null unless open (or just closed).
    QWidget* noTrayWindow() const { return no_tray_.window(); }
    // The About panel last shown; null before the first.
    QMessageBox* aboutPanelBox() const { return about_panel_.get(); }

private:
    // Runs `work` on the main thread while this controller lives: at once
    // when called there, else as a main-queue task.
    void on_main(std::function<void()> work);
    // The status item's image (a file; empty: none) and whether it shows.
    void show_status_image(const std::string& image, bool visible);
    // Moves the popover to the item when the item moved, and keeps looking
    // only while that is worth it.
    void follow_status_item();
    void set_ts_text(QLabel* troubleshooting_window::*field, const QString& text);
    QCheckBox* checkbox_for(log_checkbox box) const;
    void show_offline_time_labels(offline_time_panel& panel);
    void show_offline_time_labels(offline_time_panel& panel, const std::vector<std::wstring>& labels);
    // Wire (and fill) each window when it has just been built.
    void offline_time_panel_built(offline_time_panel& panel);
    void focus_panel_built(focus_panel& panel);
    void troubleshooting_window_built(troubleshooting_window& window);
    void help_window_built(help_window& window);
    void update_window_built(update_window& window);

    osx_ui& bridge_;
    config* core_;
    seams seams_;
    std::shared_ptr<KestrelController*> self_;

    std::unique_ptr<QAction> dynamic1_;

    std::unique_ptr<osx_PreferencesWindow> preferences_;
    std::unique_ptr<osx_Popover> popover_;
    // The view lives inside the window: it goes first.
    std::unique_ptr<QMessageBox> about_panel_;  // the last one shown
    std::unique_ptr<QWidget> automation_window_;
    std::unique_ptr<AutomationMessagingViewController> automation_view_;
    no_tray_notice no_tray_;
    platform::notification_center::token opening_instance_observer_;
    QTimer popover_follower_;
    platform::screen_place popover_place_;
    std::optional<std::string> shown_status_image_;  // main thread

    mutable std::mutex sign_in_mutex_;
    std::wstring username_;
    std::wstring password_;

    std::wstring chosen_label_;  // main thread

    // The help text as the loop last built it; the window shows it while
    // open, so a closed window costs the main thread nothing.
    void show_help_text();
    std::wstring help_text() const;
    mutable std::mutex help_mutex_;
    std::wstring help_text_;
    std::atomic<bool> help_visible_{false};

    // Read by other threads in place of the widgets.
    std::atomic<bool> offline_panel_visible_{false};
    std::atomic<bool> troubleshooting_visible_{false};
    std::atomic<std::uint32_t> checkbox_states_{0};  // one bit per log_checkbox

    std::atomic<bool> sending_debug_log_{false};
    std::thread debug_log_sender_;

    bool sleeping_ = false;

    // Last: they end before what their visibility reports reach.
    on_demand_window<offline_time_panel> offline_;
    on_demand_window<focus_panel> focus_;
    on_demand_window<troubleshooting_window> troubleshooting_;
    on_demand_window<help_window> help_;
    on_demand_window<update_window> update_;
};

}  // namespace kes
