#pragma once
// The setup wizard in a test, offscreen: the application controller of the
// controller tests, with its popover and the one wizard it makes, opened the
// way the popover's button opens it.

#include "gui/KestrelController.h"
#include "gui/osx_Popover.h"
#include "gui/osx_PopoverSetupViewController.h"
#include "gui/osx_SetupViewController.h"
#include "gui/osx_SetupWindowController.h"
#include "tests/gui/controller_fixture.h"

#include <QPushButton>
#include <QWidget>

#include <QElapsedTimer>

#include <string>
#include <vector>

namespace kes::testing {

class SetupWizardTest : public ControllerTest {
protected:
    // Launches, then clicks the popover's button.
    osx_SetupWindowController& open_wizard() {
        launch();
        controller_->showSetupPopover();
        osx_PopoverSetupViewController& content = *controller_->popover()->setupVC;
        content.setupButton->click();
        return content.setupWC();
    }
    osx_SetupWindowController& wizard() { return controller_->popover()->setupVC->setupWC(); }

    // The pages' layout names, in the wizard's order.
    std::vector<std::string> page_names() {
        std::vector<std::string> names;
        for (osx_SetupViewController* page : wizard().viewControllersList) {
            names.push_back(page->view().objectName().toStdString());
        }
        return names;
    }
    std::string current_page() {
        osx_SetupViewController* page = wizard().currentViewController;
        return page ? page->view().objectName().toStdString() : std::string();
    }

    // Lets a running resize of the wizard's window end.
    bool let_the_window_settle() {
        return run_loop_until([this] { return !wizard().isAnimatingResize(); });
    }
    QRect window_geometry() { return wizard().window().geometry(); }

    // Runs the loop for 0.6 s: how often the permission was asked meanwhile.
    int permission_queries_while_waiting() {
        const int before = permission_->queries.load();
        QElapsedTimer quiet;
        quiet.start();
        run_loop_until([&] { return quiet.elapsed() > 600; });
        return permission_->queries.load() - before;
    }
};

}  // namespace kes::testing
