#pragma once
// The setup popover's content: an invitation and the button that opens the
// setup wizard. It makes the process's one wizard.

#include "gui/osx_SetupWindowController.h"

#include <QPointer>

#include <memory>

class QLabel;
class QPushButton;
class QWidget;

namespace kes {

class osx_Popover;

class osx_PopoverSetupViewController {
public:
    static constexpr const char* layout_name = "osx_PopoverSetupViewController";

    // `initWithPopover:`; the popover is not owned.
    osx_PopoverSetupViewController(osx_Popover& popover, setup_context context);
    ~osx_PopoverSetupViewController();
    osx_PopoverSetupViewController(const osx_PopoverSetupViewController&) = delete;
    osx_PopoverSetupViewController& operator=(const osx_PopoverSetupViewController&) = delete;

    // The button: the wizard's window opens centred, then the popover closes.
    void showSetupWindow();

    // Made when first asked for (the popover's first showing); it lives in
    // the popover's window from then on.
    QWidget& view();
    osx_Popover& popover;
    osx_SetupWindowController& setupWC() { return *setupWC_; }
    QLabel* welcomeLabel = nullptr;       // null until the view is made
    QPushButton* setupButton = nullptr;   // null until the view is made

private:
    QPointer<QWidget> view_;
    std::unique_ptr<osx_SetupWindowController> setupWC_;
};

}  // namespace kes
