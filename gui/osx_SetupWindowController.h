#pragma once
// The setup wizard: one window that shows its pages one after the other —
// sign-in (unless signed in), the Accessibility permission (unless given),
// the Automation explanation (on desktops of capability 10.14 and later) and
// the closing page. The page list is made once, when the window first loads.
//
// A page switch keeps the window's top edge and horizontal centre and takes
// the page's size, animated for every page but the first. The window closes
// when the wizard passes its last page. Main thread only.

#include <QPointer>
#include <QRect>

#include <memory>
#include <vector>

class QPropertyAnimation;
class QWidget;

namespace kes {

class KestrelController;
class SetupAutomationViewController;
class osx_SetupAccessibilityViewController;
class osx_SetupDoneViewController;
class osx_SetupLoginViewController;
class osx_SetupViewController;
class osx_ui;

// What the setup works with: the UI bridge (sign-in, status texts, web pages,
// the desktop's services) and the application controller (whether the user
// is signed in and trusted, what the user typed, the bundle's resources).
struct setup_context {
    osx_ui& bridge;
    KestrelController& controller;
};

class osx_SetupWindowController {
public:
    static constexpr const char* layout_name = "osx_SetupWindowController";
    static constexpr int resize_animation_ms = 200;

    explicit osx_SetupWindowController(setup_context context);
    ~osx_SetupWindowController();
    osx_SetupWindowController(const osx_SetupWindowController&) = delete;
    osx_SetupWindowController& operator=(const osx_SetupWindowController&) = delete;

    // The wizard's window, loaded (and the page list made) at the first call.
    QWidget& window();
    bool isWindowLoaded() const { return static_cast<bool>(window_); }

    int currentIndex() const { return currentIndex_; }
    // Switches to the page at `index`; past the last page the window closes.
    void setCurrentIndex(int index);
    void showNextViewController();
    // Shows the window in front (the current page resumes when it was closed).
    void showWindow();
    // The window is closing: its page stops what it runs.
    void windowWillClose();

    // Moves the window to `frame` (its content area), animated or at once; a
    // later move replaces one still running.
    void setWindowFrame(const QRect& frame, bool animated);
    // Where the window is, or is going while it moves.
    QRect windowFrame() const;
    bool isAnimatingResize() const;

    osx_SetupLoginViewController* loginVC() const { return loginVC_.get(); }
    osx_SetupAccessibilityViewController* accessibilityVC() const { return accessibilityVC_.get(); }
    SetupAutomationViewController* automationVC() const { return automationVC_.get(); }
    osx_SetupDoneViewController* conclusionVC() const { return conclusionVC_.get(); }
    QWidget* containerView = nullptr;
    osx_SetupViewController* currentViewController = nullptr;
    std::vector<osx_SetupViewController*> viewControllersList;

private:
    void windowDidLoad();
    void switchToNextViewController();
    void hideCurrentPage();

    setup_context context_;
    int currentIndex_ = -1;
    bool current_displayed_ = false;
    // The window owns the page shown in it; the pages end first and take
    // their views with them.
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<osx_SetupLoginViewController> loginVC_;
    std::unique_ptr<osx_SetupAccessibilityViewController> accessibilityVC_;
    std::unique_ptr<SetupAutomationViewController> automationVC_;
    std::unique_ptr<osx_SetupDoneViewController> conclusionVC_;
    QPointer<QPropertyAnimation> resize_;
};

}  // namespace kes
