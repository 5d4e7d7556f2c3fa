#pragma once
// The wizard's sign-in page: e-mail and password, the sign-in button with
// its spinner, the status line of the sign-in, and the proxy fields folded
// away beneath a toggle (the page grows by their height when they open).
//
// One sign-in at a time: a second click while one runs starts nothing. The
// sign-in runs on a thread of its own; when it ends, its last steps run on
// the main thread, and only while this page still exists. Whatever the
// outcome, the typed password is forgotten then.

#include "gui/osx_SetupViewController.h"
#include "gui/osx_SetupWindowController.h"
#include "core/ui/ui.h"
#include "platform/notification_center.h"

#include <QPointer>

#include <memory>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kes {

class osx_ProxySettingsViewController;
class osx_SetupHeaderViewController;

class osx_SetupLoginViewController final : public osx_SetupViewController {
public:
    static constexpr const char* layout_name = "osx_SetupLoginViewController";
    static constexpr int height_without_proxy = 475;
    static constexpr int height_with_proxy = 598;  // the proxy fields' 123 points more
    static constexpr const char* proxy_title_shown = "▼ Proxy settings (advanced)";
    static constexpr const char* proxy_title_hidden = "► Proxy settings (advanced)";

    osx_SetupLoginViewController(setup_context context, const std::string& resource_dir);
    ~osx_SetupLoginViewController() override;

    void willBeDisplayedBy(osx_SetupWindowController& wizard) override;
    void willBeHiddenBy(osx_SetupWindowController& wizard) override;
    QWidget& view() override { return *view_; }
    QSize pageSize() const override;

    // ---- actions
    // The sign-in button (and Return in the fields).
    void activate();
    void toggleProxySettings();

    void setProxySettingsVisible(bool visible);
    // The page keeps its width and takes `height`; the window's top edge stays.
    void resizeWindowBasedOnHeight(int height, bool animated);
    void didReceiveStatusMessageNotification(const platform::user_info& info);

    QProgressBar* spinner = nullptr;
    QPushButton* activateButton = nullptr;
    osx_SetupWindowController* setupWC = nullptr;
    QLineEdit* emailField = nullptr;
    QLineEdit* passwordField = nullptr;
    QPushButton* proxyToggleButton = nullptr;
    QGroupBox* proxyBox = nullptr;
    QWidget* headerContainerView = nullptr;
    QLabel* statusLabel = nullptr;
    bool proxySettingsVisible = false;

    osx_SetupHeaderViewController* headerVC() const { return headerVC_.get(); }
    osx_ProxySettingsViewController* proxySettingsVC() const { return proxySettingsVC_.get(); }

private:
    // Starts the sign-in thread; false when one runs already.
    bool performActivate();
    // The sign-in has ended (main thread).
    void didFinishActivating(ui::sign_in_result result);

    setup_context context_;
    QPointer<QWidget> view_;
    int page_height_ = height_without_proxy;
    std::unique_ptr<osx_SetupHeaderViewController> headerVC_;
    std::unique_ptr<osx_ProxySettingsViewController> proxySettingsVC_;
    platform::notification_center::token status_observer_;
    // Tells a sign-in that ends later whether this page still exists.
    std::shared_ptr<osx_SetupLoginViewController*> self_;
};

}  // namespace kes
