#pragma once
// The layout "osx_PreferencesWindow": the preferences window of the classic
// desktop. A heading, then either the sign-in form (authentication view) or,
// once signed in, the settings view with the links to the web pages; the
// status line with its busy indicator; the proxy panel that opens below; the
// version and the buttons. Every control its controller talks to is an
// outlet with the outlet's name as its objectName; the builder only lays it
// out, the controller wires the actions.

#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace kes {

struct preferences_window_layout {
    static constexpr const char* layout_name = "osx_PreferencesWindow";
    // The window's content with the proxy panel closed and open.
    static constexpr int width = 520;
    static constexpr int closed_height = 244;
    static constexpr int open_height = 368;

    std::unique_ptr<QWidget> window;
    QWidget* headingView = nullptr;
    QLabel* headingText = nullptr;
    QLabel* subDescriptionText = nullptr;
    // Shows one of the two views at a time (a stack of the two).
    QWidget* actionContainerView = nullptr;
    QWidget* authenticationView = nullptr;
    QLineEdit* emailField = nullptr;
    QLineEdit* passwordField = nullptr;
    QLabel* lostPasswordLink = nullptr;
    QWidget* settingsView = nullptr;
    QPushButton* dashboardButton = nullptr;
    QPushButton* settingsButton = nullptr;
    QPushButton* releaseNotesButton = nullptr;
    QPushButton* troubleshootingButton = nullptr;
    QPushButton* helpButton = nullptr;
    QPushButton* proxyToggleButton = nullptr;
    QGroupBox* proxyBox = nullptr;
    QLineEdit* proxyServer = nullptr;
    QLineEdit* proxyPort = nullptr;
    QLineEdit* proxyUsername = nullptr;
    QLineEdit* proxyPassword = nullptr;
    QPushButton* saveProxySettingsButton = nullptr;
    QPushButton* activateButton = nullptr;
    QPushButton* closeButton = nullptr;
    QLabel* verifyStatusMessage = nullptr;
    QProgressBar* spinner = nullptr;
    QLabel* versionLabel = nullptr;
};

preferences_window_layout build_preferences_window();

}  // namespace kes
