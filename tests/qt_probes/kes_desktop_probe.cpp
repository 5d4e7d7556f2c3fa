// Drives the desktop services from the command line for the end-to-end
// checks: the real application object (it picks its platform), the status
// item with an image that a screenshot can find, its menu and notifications.
// One command per line on stdin, one JSON answer per line on stdout:
//   state            platform, screen, tray, visibility and place of the item
//   open-menu        opens the menu; answers whether it shows and where
//   notify <text>    answers how the notification was delivered
//   work-area        the primary screen's available geometry as the toolkit knows it
//   root-events      how many property changes of a root window reached the
//                    toolkit's connection from the server
//   pass             one pass of a window session as the scanner runs it (it
//                    takes in the root's changes, then asks for the active
//                    window); answers its change count
//   quit             ends the loop (exit code 0)

#include "platform/linux/x11_windows.h"
#include "platform/main_queue.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_status_item.h"
#include "tests/support_desktop/main_loop_commands.h"

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

#include <xcb/xcb.h>

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

// Counts what the server itself sent about root window properties (a notice
// sent by a client is marked as such and not counted).
class root_property_counter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (event->response_type != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (is_root(notify->window)) ++count;
        return false;
    }
    long count = 0;

private:
    static bool is_root(xcb_window_t window) {
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11) return false;
        for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())); screens.rem > 0;
             xcb_screen_next(&screens)) {
            if (screens.data->root == window) return true;
        }
        return false;
    }
};

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
    root_property_counter root_events;
    qGuiApp->installNativeEventFilter(&root_events);
    platform::x11_windows window_session;

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
        } else if (command == "work-area") {
            answer("{\"work_area\":" + json_rect(QGuiApplication::primaryScreen()->availableGeometry()) + "}");
        } else if (command == "root-events") {
            answer("{\"root_property_events\":" + std::to_string(root_events.count) + "}");
        } else if (command == "pass") {
            window_session.begin_pass();
            window_session.active_window();  // the first question of every scanner pass
            window_session.end_pass();
            answer("{\"changes\":" + std::to_string(window_session.changes()) + "}");
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
