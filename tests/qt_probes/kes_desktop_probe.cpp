// Drives the desktop services from the command line for the end-to-end
// checks: the real application object (it picks its platform), the status
// item with an image that a screenshot can find, its menu and notifications.
// One command per line on stdin, one JSON answer per line on stdout:
//   state            platform, screen, tray, visibility and place of the item
//   open-menu        opens the menu; answers whether it shows and where
//   notify <text>    answers how the notification was delivered
//   quit             ends the loop (exit code 0)

#include "platform/main_queue.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_status_item.h"
#include "tests/support_desktop/main_loop_commands.h"

#include <QColor>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

// Magenta with a white square inside: nothing else on the test desktop has it.
QIcon probe_icon() {
    QPixmap image(32, 32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    painter.fillRect(10, 10, 12, 12, Qt::white);
    return QIcon(image);
}

std::string json_rect(const QRect& r) {
    return "[" + std::to_string(r.x()) + "," + std::to_string(r.y()) + "," + std::to_string(r.width()) + "," +
           std::to_string(r.height()) + "]";
}

std::string json_bool(bool value) { return value ? "true" : "false"; }

void answer(const std::string& line) {
    std::cout << line << std::endl;
}

}  // namespace

int main() {
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();

    std::string last_logged;
    platform::qt_desktop_options options;
    options.log_unshown_notification = [&](const std::string& title, const std::string& text) {
        last_logged = title + ": " + text;
        std::cerr << "[notification] " << last_logged << std::endl;
    };
    const platform::desktop desktop = platform::make_qt_desktop(queue, options);
    auto& item = static_cast<platform::qt_status_item&>(*desktop.status);
    auto& app = static_cast<platform::qt_application&>(*desktop.app);

    item.set_icon(probe_icon());
    item.set_tooltip("Kestrel");
    item.menu().addAction("Pause Kestrel");
    item.menu().addSeparator();
    item.menu().addAction("Quit Kestrel");
    int menu_openings = 0;
    item.set_menu_will_open([&] { ++menu_openings; });
    item.set_visible(true);

    kes::testing::serve_command_lines(queue, [&](const std::string& command) {
        if (command == "state") {
            answer("{\"platform\":\"" + app.platform_name() + "\",\"has_screen\":" + json_bool(app.has_screen()) +
                   ",\"tray_available\":" + json_bool(item.tray_available()) +
                   ",\"visible\":" + json_bool(item.visible()) +
                   ",\"geometry\":" + json_rect(item.tray_icon().geometry()) + "}");
        } else if (command == "open-menu") {
            item.open_menu();
            answer("{\"menu_visible\":" + json_bool(item.menu().isVisible()) +
                   ",\"menu_geometry\":" + json_rect(item.menu().geometry()) +
                   ",\"menu_openings\":" + std::to_string(menu_openings) + "}");
        } else if (command.rfind("notify ", 0) == 0) {
            const auto delivery = desktop.notifier->notify("Kestrel Alert", command.substr(7));
            const char* names[] = {"shown", "logged", "queued"};
            answer(std::string("{\"delivery\":\"") + names[static_cast<int>(delivery)] + "\"}");
        } else {
            answer("{\"error\":\"unknown command\"}");
        }
    });
    answer("{\"ready\":true}");
    return desktop.app->run();
}
