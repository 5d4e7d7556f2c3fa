#pragma once
// The wizard's Automation page: the Automation explanation, marked as seen
// as soon as the page shows; its button moves the wizard on.

#include "gui/osx_SetupViewController.h"
#include "gui/osx_SetupWindowController.h"

#include <QPointer>

#include <memory>
#include <string>

namespace kes {

class AutomationMessagingViewController;
class osx_SetupHeaderViewController;

class SetupAutomationViewController final : public osx_SetupViewController {
public:
    static constexpr const char* layout_name = "osx_SetupAutomationViewController";
    // The explanation's top (its title strip) lies under the page's header.
    static constexpr int explanation_overlap = 40;

    SetupAutomationViewController(setup_context context, const std::string& resource_dir);
    ~SetupAutomationViewController() override;

    void willBeDisplayedBy(osx_SetupWindowController& wizard) override;
    void willBeHiddenBy(osx_SetupWindowController& wizard) override;
    QWidget& view() override { return *view_; }
    QSize pageSize() const override;

    // The explanation's delegate.
    void automationMessagingVCDidPressAwknowledgementButton(AutomationMessagingViewController& sender);

    osx_SetupWindowController* setupWC = nullptr;
    QWidget* headerContainerView = nullptr;
    QWidget* automationMessagingContainer = nullptr;

    AutomationMessagingViewController* automationMessagingVC() const { return automationMessagingVC_.get(); }
    osx_SetupHeaderViewController* headerVC() const { return headerVC_.get(); }

private:
    setup_context context_;
    QPointer<QWidget> view_;
    std::unique_ptr<AutomationMessagingViewController> automationMessagingVC_;
    std::unique_ptr<osx_SetupHeaderViewController> headerVC_;
};

}  // namespace kes
