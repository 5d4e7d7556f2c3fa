#pragma once
// The setup popover beside the status item: it invites a new user to set
// the agent up, and stays until closed from code (not by a click elsewhere);
// the user may drag it aside. Its content's button opens the setup wizard.

#include "gui/osx_SetupWindowController.h"
#include "platform/status_item.h"

#include <memory>

class QWidget;

namespace kes {

class osx_DraggableWindow;
class osx_PopoverSetupViewController;
class osx_PopoverWelcomeViewController;

class osx_Popover {
public:
    explicit osx_Popover(setup_context context);
    ~osx_Popover();
    osx_Popover(const osx_Popover&) = delete;
    osx_Popover& operator=(const osx_Popover&) = delete;

    // Shows the setup content beside `item`, wholly on its screen (see
    // popover_placement.h); where no tray tells the item's place, at the
    // panel's corner or the pointer. Showing it again moves it to the item's place.
    void showRelativeTo(const platform::screen_place& item);
    void performClose();
    bool isShown() const;

    // Made at the first showing (or the first call).
    QWidget& window();
    std::unique_ptr<osx_PopoverSetupViewController> setupVC;
    std::unique_ptr<osx_PopoverWelcomeViewController> welcomeVC;

private:
    std::unique_ptr<osx_DraggableWindow> window_;
};

}  // namespace kes
