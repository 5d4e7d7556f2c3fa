#include "gui/osx_PopoverWelcomeViewController.h"

#include "gui/setup_layouts.h"

#include <QWidget>

namespace kes {

osx_PopoverWelcomeViewController::osx_PopoverWelcomeViewController(osx_Popover& owner) : popover(owner) {}

QWidget& osx_PopoverWelcomeViewController::view() {
    if (!view_) {
        popover_welcome_layout made = build_popover_welcome_layout();
        view_ = made.view.release();
        welcomeLabel = made.welcomeLabel;
    }
    return *view_;
}

osx_PopoverWelcomeViewController::~osx_PopoverWelcomeViewController() { delete view_.data(); }

}  // namespace kes
