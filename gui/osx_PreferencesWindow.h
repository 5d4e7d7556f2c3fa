#pragma once
// The preferences window's controller. It shows the sign-in form or, once
// the user is signed in, the settings view with the links to the web pages,
// and it has a proxy panel that opens below them. The application controller
// forwards the sign-in's status texts and its success here, and opens the
// window from the menu.
//
// The newer desktops' preference panes (PreferencesWindowController) derive
// from this class: they keep its sign-in, proxy saving, links and help, and
// override the four methods marked below to show their results in their own
// way. What acts on an outlet acts on nothing where the window has none.
//
// Main thread, except `setStatusMessage`, which any thread may call.

#include "gui/preferences_layout.h"
#include "gui/proxy_fields.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QWidget;

namespace kes {

class KestrelController;
class osx_ui;

class osx_PreferencesWindow {
public:
    static constexpr const char* layout_name = preferences_window_layout::layout_name;

    // Made once by the application controller, which outlives it.
    osx_PreferencesWindow(KestrelController& delegate, osx_ui& bridge);
    virtual ~osx_PreferencesWindow();
    osx_PreferencesWindow(const osx_PreferencesWindow&) = delete;
    osx_PreferencesWindow& operator=(const osx_PreferencesWindow&) = delete;

    // ---- overridden by the preference panes
    // Opens and fronts the window; the sign-in form or the settings view.
    virtual void showPreferencesWindow();
    // Any thread: the text is kept at once and shown on the main thread.
    // Mode 0 draws it in the control text colour, 1 yellow (and asks for the
    // user's attention), 2 green; other modes keep the colour.
    virtual void setStatusMessage(const std::wstring& text, int mode);
    // After a successful sign-in.
    virtual void updateWithPostActivateState();
    // The proxy values as the configuration holds them, for the window's fields.
    virtual void updateProxySettingsUiWithServer(const std::wstring& server, const std::wstring& port,
                                                 const std::wstring& username, const std::wstring& password);

    // The window, made at the first call (then `awakeFromNib`).
    QWidget& window();
    bool checkIfIsActivated();

    // ---- sign-in
    // Action of the activate button: signs in with the two fields' texts.
    void activate();
    // Signs in with these; false (nothing started) while a sign-in runs.
    bool activateWithEmail(const std::wstring& email, const std::wstring& password);

    // ---- proxy panel
    void toggleProxySettings();
    void refreshProxySettings();
    // Stores the four values as typed, then says so in the status line.
    void saveProxySettingsWithServer(const std::wstring& server, const std::wstring& port,
                                     const std::wstring& username, const std::wstring& password);
    // Action of the panel's button: the four fields, then the panel closes.
    void saveProxySettings();
    // Content size W x H, keeping the window's right and top edges.
    void resizeWindowToWidth(int width, int height, bool animate);
    bool proxySettingsVisible() const { return proxy_settings_visible_; }

    // ---- links and the rest
    // With Shift held: ends the focus session's blocking now; else the dashboard.
    void goToDashboard();
    void goToSettings();
    void goToLostPassword();
    void goToReleaseNotes();
    void openTroubleshooting();
    void showHelpWindow();
    void cancel();
    void orderOut();

    std::wstring status_text() const;

    // ---- outlets of the layout "osx_PreferencesWindow" (null until the
    // window is made, and in windows without them)
    QWidget* headingView = nullptr;
    QLabel* headingText = nullptr;
    QLabel* subDescriptionText = nullptr;
    QWidget* actionContainerView = nullptr;
    QWidget* authenticationView = nullptr;
    QLineEdit* emailField = nullptr;
    QLineEdit* passwordField = nullptr;
    QWidget* settingsView = nullptr;
    QPushButton* proxyToggleButton = nullptr;
    QGroupBox* proxyBox = nullptr;
    QPushButton* saveProxySettingsButton = nullptr;
    QLineEdit* proxyServer = nullptr;
    QLineEdit* proxyPort = nullptr;
    QLineEdit* proxyUsername = nullptr;
    QLineEdit* proxyPassword = nullptr;
    QPushButton* activateButton = nullptr;
    QPushButton* closeButton = nullptr;
    QLabel* verifyStatusMessage = nullptr;
    QProgressBar* spinner = nullptr;
    QLabel* versionLabel = nullptr;

protected:
    // The window this controller runs; the panes make their own.
    virtual std::unique_ptr<QWidget> loadWindow();
    // Once the window is made.
    virtual void awakeFromNib();
    // On the main thread once a sign-in started here has ended.
    virtual void signInDidEnd(bool signed_in);

    // Runs `work` on the main thread while this object lives: at once when
    // called there, else as a main-queue task.
    void on_main(std::function<void()> work);
    // Lets the store of the panes reach this object while it lives.
    std::weak_ptr<osx_PreferencesWindow*> weak_self() const { return self_; }
    // Ends the window before a derived class's members that it shows.
    void unloadWindow();

    KestrelController& delegate_;
    osx_ui& bridge_;

private:
    enum class status_colour { control_text, yellow, green };
    void show_status();
    // Starts the sign-in thread; false when one runs already.
    bool performActivate();
    void wire_actions(const preferences_window_layout& layout);
    void take_outlets(preferences_window_layout& layout);

    std::unique_ptr<QWidget> window_;  // made at the first showing
    bool proxy_settings_visible_ = false;

    mutable std::mutex status_mutex_;  // the status line is set from any thread
    std::wstring status_message_;
    status_colour status_colour_ = status_colour::control_text;

    std::shared_ptr<osx_PreferencesWindow*> self_;
};

}  // namespace kes
