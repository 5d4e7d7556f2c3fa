#pragma once
// The wizard's Accessibility page: why the agent reads the window in front
// and what gives it that. While the page shows, it asks five times a second
// whether the agent may now, and moves on by itself as soon as it may; the
// asking stops when the page is left or its window closes. In a Wayland
// session no permission can come: the page says what Kestrel cannot read
// there and how to get full recording, asks nothing, and its button goes on.

#include "gui/osx_SetupViewController.h"
#include "gui/osx_SetupWindowController.h"

#include <QPointer>

#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QSvgWidget;
class QTimer;

namespace kes {

class osx_SetupHeaderViewController;

class osx_SetupAccessibilityViewController final : public osx_SetupViewController {
public:
    static constexpr const char* layout_name = "osx_SetupAccessibilityViewController";
    static constexpr int poll_interval_ms = 200;
    // Where the platform grants the permission.
    static constexpr const char* settings_address =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";
    static constexpr const char* animation_image = "setup_accessibility_animation";

    osx_SetupAccessibilityViewController(setup_context context, const std::string& resource_dir);
    ~osx_SetupAccessibilityViewController() override;

    void willBeDisplayedBy(osx_SetupWindowController& wizard) override;
    void willBeHiddenBy(osx_SetupWindowController& wizard) override;
    QWidget& view() override { return *view_; }
    QSize pageSize() const override;

    // ---- actions
    void openSystemPreferences();
    void openUsingXAppleURL();
    void refreshAccessibilityStatus();

    osx_SetupWindowController* setupWC = nullptr;
    QTimer* accessibilityCheckTimer = nullptr;  // runs only while the page shows
    QWidget* macOSVersionContainerView = nullptr;
    QWidget* headerContainerView = nullptr;
    QSvgWidget* gifImageView = nullptr;
    QLabel* permissionHintLabel = nullptr;
    QPushButton* openSystemPreferencesButton = nullptr;

    osx_SetupHeaderViewController* headerVC() const { return headerVC_.get(); }

private:
    void stop_polling();

    setup_context context_;
    bool wayland_ = false;
    std::string animation_path_;
    QPointer<QWidget> view_;
    std::unique_ptr<osx_SetupHeaderViewController> headerVC_;
};

}  // namespace kes
