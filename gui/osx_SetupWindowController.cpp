#include "gui/osx_SetupWindowController.h"

#include "core/foundation/debug_log.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "gui/SetupAutomationViewController.h"
#include "gui/osx_DraggableWindow.h"
#include "gui/osx_SetupAccessibilityViewController.h"
#include "gui/osx_SetupDoneViewController.h"
#include "gui/osx_SetupLoginViewController.h"
#include "gui/osx_SetupViewController.h"
#include "gui/setup_layouts.h"
#include "platform/qt/window_front.h"

#include <QCloseEvent>
#include <QLayout>
#include <QPropertyAnimation>
#include <QWidget>

namespace kes {
namespace {

// The wizard's window: it tells the wizard when it closes.
class setup_window final : public QWidget {
public:
    explicit setup_window(osx_SetupWindowController& wizard) : QWidget(nullptr, Qt::Window), wizard_(wizard) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        wizard_.windowWillClose();
        QWidget::closeEvent(event);
    }

private:
    osx_SetupWindowController& wizard_;
};

bool at_least_mojave(const osx_ui& bridge) {
    const auto& version = bridge.desktop().version;
    return !version || version->at_least(10, 14);
}

}  // namespace

osx_SetupWindowController::osx_SetupWindowController(setup_context context) : context_(context) {}

osx_SetupWindowController::~osx_SetupWindowController() {
    if (resize_) resize_->stop();
    hideCurrentPage();
}

QWidget& osx_SetupWindowController::window() {
    if (!window_) {
        setup_window_layout made = build_setup_window_layout(std::make_unique<setup_window>(*this));
        window_ = std::move(made.window);
        containerView = made.containerView;
        windowDidLoad();
    }
    return *window_;
}

void osx_SetupWindowController::windowDidLoad() {
    const std::string& resources = context_.controller.resourceDirectory();
    accessibilityVC_ = std::make_unique<osx_SetupAccessibilityViewController>(context_, resources);
    automationVC_ = std::make_unique<SetupAutomationViewController>(context_, resources);
    loginVC_ = std::make_unique<osx_SetupLoginViewController>(context_, resources);
    conclusionVC_ = std::make_unique<osx_SetupDoneViewController>(context_, resources);

    const bool signed_in = context_.controller.isActivated();
    conclusionVC_->urlAction = signed_in ? osx_SetupDoneViewController::signed_in_before
                                         : osx_SetupDoneViewController::signed_in_here;

    viewControllersList.clear();
    if (!signed_in) viewControllersList.push_back(loginVC_.get());
    if (!context_.controller.isProcessTrusted()) viewControllersList.push_back(accessibilityVC_.get());
    if (at_least_mojave(context_.bridge)) viewControllersList.push_back(automationVC_.get());
    viewControllersList.push_back(conclusionVC_.get());
    log(L"[osx_SetupWindowController:windowDidLoad] " + std::to_wstring(viewControllersList.size()) + L" pages",
        log_level::ui);

    setCurrentIndex(0);
    // Dragging the window anywhere that is not a control moves it.
    new background_drag(*window_);
}

void osx_SetupWindowController::setCurrentIndex(int index) {
    currentIndex_ = index;
    switchToNextViewController();
}

void osx_SetupWindowController::showNextViewController() { setCurrentIndex(currentIndex_ + 1); }

void osx_SetupWindowController::hideCurrentPage() {
    if (currentViewController && current_displayed_) {
        current_displayed_ = false;
        currentViewController->willBeHiddenBy(*this);
    }
}

void osx_SetupWindowController::switchToNextViewController() {
    hideCurrentPage();
    if (currentIndex_ < 0 || currentIndex_ >= static_cast<int>(viewControllersList.size())) {
        currentViewController = nullptr;
        if (window_) window_->close();
        return;
    }
    osx_SetupViewController* page = viewControllersList[static_cast<std::size_t>(currentIndex_)];
    currentViewController = page;
    for (osx_SetupViewController* leaving : {static_cast<osx_SetupViewController*>(automationVC_.get()),
                                            static_cast<osx_SetupViewController*>(accessibilityVC_.get()),
                                            static_cast<osx_SetupViewController*>(loginVC_.get())}) {
        QWidget& view = leaving->view();
        if (view.parentWidget() == containerView) {
            containerView->layout()->removeWidget(&view);
            view.hide();
            view.setParent(nullptr);
        }
    }

    current_displayed_ = true;
    page->willBeDisplayedBy(*this);

    // The top edge and the horizontal centre stay.
    const QRect frame = windowFrame();
    const QSize size = page->pageSize();
    const QRect target(frame.x() - (size.width() - frame.width()) / 2, frame.y(), size.width(), size.height());
    setWindowFrame(target, currentIndex_ != 0);

    QWidget& view = page->view();
    if (view.parentWidget() != containerView) {
        view.setParent(containerView);
        containerView->layout()->addWidget(&view);
    }
    view.show();
    // The control the page chose for the keyboard gets it now that it is in the window.
    if (QWidget* focus = view.focusWidget()) focus->setFocus();
}

void osx_SetupWindowController::showWindow() {
    QWidget& shown = window();
    if (!currentViewController) {
        log(L"[osx_SetupWindowController:showWindow] The setup is finished; there is no page to show.", log_level::ui);
        return;
    }
    if (!current_displayed_) {
        // Closed before its end: the page picks up where it was.
        current_displayed_ = true;
        currentViewController->willBeDisplayedBy(*this);
    }
    // A window of the agent's own, it has its place in the task bar while it
    // is open, and none once it closes: the desktop needs no further word.
    platform::bring_to_front(shown, platform::window_level::normal);
}

void osx_SetupWindowController::windowWillClose() { hideCurrentPage(); }

void osx_SetupWindowController::setWindowFrame(const QRect& frame, bool animated) {
    QWidget& moved = window();
    if (resize_) resize_->stop();  // stopped, it deletes itself
    if (!animated) {
        moved.setGeometry(frame);
        return;
    }
    auto* animation = new QPropertyAnimation(&moved, "geometry", &moved);
    animation->setDuration(resize_animation_ms);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(moved.geometry());
    animation->setEndValue(frame);
    resize_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

QRect osx_SetupWindowController::windowFrame() const {
    if (isAnimatingResize()) return resize_->endValue().toRect();
    return window_ ? window_->geometry() : QRect();
}

bool osx_SetupWindowController::isAnimatingResize() const {
    return resize_ && resize_->state() == QAbstractAnimation::Running;
}

}  // namespace kes
