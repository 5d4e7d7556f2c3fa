#pragma once
// The wizard's closing page. Its button closes the wizard and opens the web
// page that fits: the setup-done page for a user who signed in here, the
// dashboard for one who was signed in already.

#include "gui/osx_SetupViewController.h"
#include "gui/osx_SetupWindowController.h"

#include <QPointer>

#include <memory>
#include <string>

class QPushButton;

namespace kes {

class osx_SetupHeaderViewController;

class osx_SetupDoneViewController final : public osx_SetupViewController {
public:
    static constexpr const char* layout_name = "osx_SetupDoneViewController";
    // What `closeWindow` opens.
    enum url_action : int { signed_in_before = 0, signed_in_here = 1, undecided = 2 };

    osx_SetupDoneViewController(setup_context context, const std::string& resource_dir);
    ~osx_SetupDoneViewController() override;

    void willBeDisplayedBy(osx_SetupWindowController& wizard) override { setupWC = &wizard; }
    void willBeHiddenBy(osx_SetupWindowController&) override { setupWC = nullptr; }
    QWidget& view() override { return *view_; }
    QSize pageSize() const override;

    // The button: the wizard passes its end (its window closes), then the page opens.
    void closeWindow();

    int urlAction = undecided;
    osx_SetupWindowController* setupWC = nullptr;
    QWidget* headerContainerView = nullptr;
    QPushButton* closeButton = nullptr;

    osx_SetupHeaderViewController* headerVC() const { return headerVC_.get(); }

private:
    setup_context context_;
    QPointer<QWidget> view_;
    std::unique_ptr<osx_SetupHeaderViewController> headerVC_;
};

}  // namespace kes
