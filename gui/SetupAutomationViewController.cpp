#include "gui/SetupAutomationViewController.h"

#include "app/osx_ui.h"
#include "gui/AutomationMessagingViewController.h"
#include "gui/KestrelController.h"
#include "gui/osx_SetupHeaderViewController.h"
#include "gui/setup_layouts.h"

#include <QEvent>
#include <QWidget>

namespace kes {
namespace {

// Keeps the one child of a container pinned to its edges, with its top
// `overlap` points above the container's (where it is clipped).
class pinned_with_overlap final : public QObject {
public:
    pinned_with_overlap(QWidget& container, QWidget& child, int overlap)
        : QObject(&container), container_(container), child_(&child), overlap_(overlap) {
        container.installEventFilter(this);
        place();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &container_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) place();
        return QObject::eventFilter(watched, event);
    }

private:
    void place() {
        if (child_) child_->setGeometry(0, -overlap_, container_.width(), container_.height() + overlap_);
    }

    QWidget& container_;
    QPointer<QWidget> child_;
    int overlap_;
};

}  // namespace

SetupAutomationViewController::SetupAutomationViewController(setup_context context, const std::string& resource_dir)
    : context_(context) {
    setup_automation_layout made = build_setup_automation_layout();
    view_ = made.view.release();
    headerContainerView = made.headerContainerView;
    automationMessagingContainer = made.automationMessagingContainer;

    // `awakeFromNib`
    automationMessagingVC_ = std::make_unique<AutomationMessagingViewController>(
        context_.bridge.desktop().version.get(), context_.controller.sessionKind());
    automationMessagingVC_->delegate = [this](AutomationMessagingViewController& sender) {
        automationMessagingVCDidPressAwknowledgementButton(sender);
    };
    QWidget& explanation = automationMessagingVC_->view();
    explanation.setParent(automationMessagingContainer);
    new pinned_with_overlap(*automationMessagingContainer, explanation, explanation_overlap);
    headerVC_ =
        std::make_unique<osx_SetupHeaderViewController>(osx_SetupHeaderViewController::permissions, resource_dir);
    headerVC_->placeIn(*headerContainerView);
}

SetupAutomationViewController::~SetupAutomationViewController() {
    automationMessagingVC_.reset();
    headerVC_.reset();
    delete view_.data();
}

QSize SetupAutomationViewController::pageSize() const { return setup_automation_layout::size; }

void SetupAutomationViewController::willBeDisplayedBy(osx_SetupWindowController& wizard) {
    setupWC = &wizard;
    // Seen once shown, whether or not the user acknowledges it.
    if (const auto& defaults = context_.bridge.desktop().defaults) {
        (void)defaults->set_bool(automation_alert_shown_default, true);
        (void)defaults->synchronize();
    }
}

void SetupAutomationViewController::willBeHiddenBy(osx_SetupWindowController&) { setupWC = nullptr; }

void SetupAutomationViewController::automationMessagingVCDidPressAwknowledgementButton(
    AutomationMessagingViewController&) {
    if (setupWC) setupWC->showNextViewController();
}

}  // namespace kes
