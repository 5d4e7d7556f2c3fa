#pragma once
// The window layouts of the setup: the popover's two views, the wizard's
// window, its four pages, the header that shows the three steps, and the
// Automation explanation. Each builder lays one view out and names every
// outlet as the view controller's member; the controllers wire the actions.
// A page view comes at its design size (the wizard's window takes it).

#include "platform/session_kind.h"

#include <QSize>

#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSvgWidget;
class QWidget;

namespace kes {

// The popover's content: an invitation and the button that opens the wizard.
struct popover_setup_layout {
    static constexpr const char* layout_name = "osx_PopoverSetupViewController";

    std::unique_ptr<QWidget> view;
    QLabel* welcomeLabel = nullptr;
    QPushButton* setupButton = nullptr;
};
popover_setup_layout build_popover_setup_layout();

// The popover's welcome for a signed-in user (made with the popover, not shown).
struct popover_welcome_layout {
    static constexpr const char* layout_name = "osx_PopoverWelcomeViewController";

    std::unique_ptr<QWidget> view;
    QLabel* welcomeLabel = nullptr;
};
popover_welcome_layout build_popover_welcome_layout();

// The wizard's window: one container that holds the current page.
struct setup_window_layout {
    static constexpr const char* layout_name = "osx_SetupWindowController";

    std::unique_ptr<QWidget> window;
    QWidget* containerView = nullptr;
};
setup_window_layout build_setup_window_layout(std::unique_ptr<QWidget> window);

// The three steps: sign-in, permissions, done.
struct setup_header_layout {
    static constexpr const char* layout_name = "osx_SetupHeaderViewController";

    std::unique_ptr<QWidget> view;
    QLabel* loginImageView = nullptr;
    QLabel* loginLabel = nullptr;
    QLabel* accessibilityImageView = nullptr;
    QLabel* accessibilityLabel = nullptr;
    QLabel* doneImageView = nullptr;
    QLabel* doneLabel = nullptr;
};
setup_header_layout build_setup_header_layout();

// The sign-in page, with the proxy fields folded away.
struct setup_login_layout {
    static constexpr const char* layout_name = "osx_SetupLoginViewController";
    static constexpr int width = 500;
    static constexpr int height_without_proxy = 475;
    static constexpr int proxy_height = 123;
    static constexpr int height_with_proxy = height_without_proxy + proxy_height;  // 598

    std::unique_ptr<QWidget> view;
    QWidget* headerContainerView = nullptr;
    QLineEdit* emailField = nullptr;
    QLineEdit* passwordField = nullptr;  // echoes no characters
    QLabel* statusLabel = nullptr;
    QProgressBar* spinner = nullptr;      // hidden while no sign-in runs
    QPushButton* activateButton = nullptr;
    QPushButton* proxyToggleButton = nullptr;
    QGroupBox* proxyBox = nullptr;
};
setup_login_layout build_setup_login_layout();

// The Accessibility page: why the agent reads the front window, and what
// gives it that.
struct setup_accessibility_layout {
    static constexpr const char* layout_name = "osx_SetupAccessibilityViewController";
    static constexpr QSize size{540, 500};

    std::unique_ptr<QWidget> view;
    QWidget* headerContainerView = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* introLabel = nullptr;
    QLabel* howLabel = nullptr;                     // inside macOSVersionContainerView
    QSvgWidget* gifImageView = nullptr;             // the animated picture
    QWidget* macOSVersionContainerView = nullptr;   // what grants it on this desktop
    QLabel* permissionHintLabel = nullptr;
    QPushButton* openSystemPreferencesButton = nullptr;
};
setup_accessibility_layout build_setup_accessibility_layout();
// The same page in a Wayland session: what Kestrel cannot read there, what
// it still can, how to get full recording, and a button that goes on.
void show_wayland_session_texts(setup_accessibility_layout& page);

// The Automation page: a frame for the explanation view.
struct setup_automation_layout {
    static constexpr const char* layout_name = "osx_SetupAutomationViewController";
    static constexpr QSize size{540, 300};

    std::unique_ptr<QWidget> view;
    QWidget* headerContainerView = nullptr;
    QWidget* automationMessagingContainer = nullptr;
};
setup_automation_layout build_setup_automation_layout();

// The closing page.
struct setup_done_layout {
    static constexpr const char* layout_name = "osx_SetupDoneViewController";
    static constexpr QSize size{480, 330};

    std::unique_ptr<QWidget> view;
    QWidget* headerContainerView = nullptr;
    QLabel* doneTextLabel = nullptr;
    QPushButton* closeButton = nullptr;
};
setup_done_layout build_setup_done_layout();

// Why the agent reads other applications' windows, with a button to say the
// user has read it. Its top strip (the title) lies under the wizard's header
// when the Automation page holds it.
struct automation_messaging_layout {
    static constexpr const char* layout_name = "osx_AutomationMessagingViewController";
    static constexpr int title_strip_height = 40;

    std::unique_ptr<QWidget> view;
    QLabel* titleLabel = nullptr;
    QLabel* alertImageView = nullptr;
    QLabel* importantLabel = nullptr;
    QPushButton* acknowledgeButton = nullptr;
};
// What the text says follows the session: in a Wayland one only what runs
// through Xwayland can be read.
automation_messaging_layout build_automation_messaging_layout(platform::session_kind session);

// The explanation's text in that kind of session; its first ten characters,
// "Important:", are set bold.
const char* automation_explanation_text(platform::session_kind session);

}  // namespace kes
