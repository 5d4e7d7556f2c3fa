#include "gui/osx_PopoverSetupViewController.h"

#include "gui/osx_Popover.h"
#include "gui/setup_layouts.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace kes {

osx_PopoverSetupViewController::osx_PopoverSetupViewController(osx_Popover& owner, setup_context context)
    : popover(owner), setupWC_(std::make_unique<osx_SetupWindowController>(context)) {}

QWidget& osx_PopoverSetupViewController::view() {
    if (!view_) {
        popover_setup_layout made = build_popover_setup_layout();
        view_ = made.view.release();
        welcomeLabel = made.welcomeLabel;
        setupButton = made.setupButton;
        QObject::connect(setupButton, &QPushButton::clicked, view_, [this] { showSetupWindow(); });
    }
    return *view_;
}

osx_PopoverSetupViewController::~osx_PopoverSetupViewController() { delete view_.data(); }

void osx_PopoverSetupViewController::showSetupWindow() {
    QWidget& window = setupWC_->window();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect centred = window.geometry();
        centred.moveCenter(screen->availableGeometry().center());
        // Placed by its content area, as every later move of the wizard is.
        window.setGeometry(centred);
    }
    setupWC_->showWindow();
    popover.performClose();
}

}  // namespace kes
