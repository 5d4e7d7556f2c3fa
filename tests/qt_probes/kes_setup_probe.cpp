// Drives the setup popover and wizard on a real display for the end-to-end
// checks: the toolkit's desktop, the UI bridge and the application
// controller as the agent makes them (no worker threads), not signed in, a
// permission the script gives, and a URL opener that only records.
// kes_setup_probe --resources DIR
// One command a line on stdin, one JSON line back (answered once the window
// has stopped moving):
//   popover            shows the setup popover
//   open               its button: the wizard opens
//   page               the current page, the window's place, the list of pages
//   proxy              the proxy toggle of the sign-in page
//   status TEXT        a status text, as a sign-in reports it
//   signed-in          stores an account key and moves on, as a sign-in does
//   trust              the permission is given (the page notices by itself)
//   acknowledge        the Automation page's button
//   finish             the closing page's button; the pages opened
//   explanation        the Automation explanation in a window of its own
//   acknowledge-alone  that window's button
//   quit               ends the loop (exit code 0)

#include "core/foundation/config.h"
#include "app/osx_ui.h"
#include "gui/AutomationMessagingViewController.h"
#include "gui/KestrelController.h"
#include "gui/SetupAutomationViewController.h"
#include "gui/osx_SetupAccessibilityViewController.h"
#include "gui/desktop_ui.h"
#include "gui/osx_Popover.h"
#include "gui/osx_PopoverSetupViewController.h"
#include "gui/osx_SetupDoneViewController.h"
#include "gui/osx_SetupLoginViewController.h"
#include "gui/osx_SetupWindowController.h"
#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_url_opener.h"
#include "platform/main_queue.h"
#include "platform/qt/qt_desktop.h"
#include "tests/support_desktop/main_loop_commands.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <nlohmann/json.hpp>

#include <functional>
#include <iostream>
#include <string>

namespace {

using nlohmann::json;

json place(const QRect& r) { return json::array({r.x(), r.y(), r.width(), r.height()}); }

}  // namespace

int main(int argc, char** argv) {
    std::string resources;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--resources") resources = argv[i + 1];
    }
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    kes::config& settings = kes::config::instance();
    settings.set_account_key(L"");  // a new user

    platform::desktop desktop = platform::make_qt_desktop(queue);
    auto opener = std::make_shared<platform::fake_url_opener>();
    desktop.opener = opener;  // no browser opens
    kes::osx_ui::provide_services(kes::make_desktop_ui_services(desktop, queue));
    auto* bridge = static_cast<kes::osx_ui*>(kes::ui::get_instance());

    auto permission = std::make_shared<platform::fake_accessibility>(false);
    kes::controller_seams seams;
    seams.resource_dir = resources;
    seams.accessibility_trusted = [permission] { return permission->is_process_trusted(); };
    seams.launch_arguments_given = true;
    auto controller = std::make_shared<kes::KestrelController>(*bridge, seams);
    bridge->set_delegate(controller);
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching();

    kes::osx_Popover& popover = *controller->popover();
    kes::osx_SetupWindowController& wizard = popover.setupVC->setupWC();

    const auto page_answer = [&] {
        json pages = json::array();
        for (auto* each : wizard.viewControllersList) pages.push_back(each->view().objectName().toStdString());
        QWidget& window = wizard.window();
        return json{{"page", wizard.currentViewController
                                 ? wizard.currentViewController->view().objectName().toStdString()
                                 : std::string()},
                    {"index", wizard.currentIndex()},
                    {"pages", pages},
                    {"visible", window.isVisible()},
                    {"geometry", place(window.geometry())},
                    {"frame", place(window.frameGeometry())}};
    };
    // Answers once the wizard's window has stopped moving (and the toolkit drew it).
    std::function<void(std::function<json()>)> answer_when_still = [&](std::function<json()> answer) {
        QTimer::singleShot(60, [&, answer] {
            if (wizard.isWindowLoaded() && wizard.isAnimatingResize()) {
                answer_when_still(answer);
                return;
            }
            std::cout << answer().dump() << std::endl;
        });
    };

    kes::testing::serve_command_lines(queue, [&](const std::string& line) {
        const kes::testing::command_line split = kes::testing::split_command_line(line);
        const std::string& command = split.command;
        const std::string& argument = split.argument;
        if (command == "popover") {
            controller->showSetupPopover();
            answer_when_still([&] {
                return json{{"visible", popover.isShown()}, {"geometry", place(popover.window().frameGeometry())}};
            });
        } else if (command == "open") {
            popover.setupVC->setupButton->click();
            answer_when_still([&] {
                json answer = page_answer();
                answer["popover_visible"] = popover.isShown();
                return answer;
            });
        } else if (command == "page") {
            answer_when_still(page_answer);
        } else if (command == "proxy") {
            wizard.loginVC()->proxyToggleButton->click();
            answer_when_still(page_answer);
        } else if (command == "status") {
            bridge->set_status_message(std::wstring(argument.begin(), argument.end()));
            answer_when_still(page_answer);
        } else if (command == "signed-in") {
            settings.set_account_key(L"AK-probe-0001");
            wizard.showNextViewController();
            answer_when_still(page_answer);
        } else if (command == "trust") {
            permission->trusted = true;
            // The page asks five times a second: it moves on by itself
            // (the answer waits for that, 20 s at most).
            auto* waited = new QElapsedTimer;
            waited->start();
            auto* check = new QTimer;
            check->setInterval(20);
            QObject::connect(check, &QTimer::timeout, [&, waited, check] {
                if (wizard.currentViewController == wizard.accessibilityVC() && waited->elapsed() < 20'000) return;
                check->stop();
                check->deleteLater();
                delete waited;
                answer_when_still(page_answer);
            });
            check->start();
        } else if (command == "acknowledge") {
            wizard.automationVC()->automationMessagingVC()->acknowledgeButton->click();
            answer_when_still(page_answer);
        } else if (command == "finish") {
            wizard.conclusionVC()->closeButton->click();
            answer_when_still([&] {
                json answer = page_answer();
                answer["opened"] = opener->opened_pages();
                return answer;
            });
        } else if (command == "explanation") {
            controller->showAutomationAlertIfNotSeen();
            answer_when_still([&] {
                QWidget* window = controller->automationWindow();
                return json{{"visible", window && window->isVisible()},
                            {"geometry", window ? place(window->geometry()) : json()}};
            });
        } else if (command == "acknowledge-alone") {
            controller->automationWindow()->findChild<QPushButton*>(QStringLiteral("acknowledgeButton"))->click();
            answer_when_still([&] { return json{{"visible", controller->automationWindow()->isVisible()}}; });
        } else {
            std::cout << json{{"error", "unknown command"}}.dump() << std::endl;
        }
    });
    std::cout << json{{"ready", true}}.dump() << std::endl;
    const int code = desktop.app->run();
    // Widgets end before the application object does.
    controller.reset();
    bridge->end_desktop();
    return code;
}
