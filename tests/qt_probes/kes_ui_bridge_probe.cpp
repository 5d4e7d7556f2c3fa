// Drives the agent's user interface on a real display for the end-to-end
// checks: the toolkit's desktop, the UI bridge with its status menu, and the
// application controller with its windows, as the agent makes them (no
// worker threads). kes_ui_bridge_probe --resources DIR
// One command a line on stdin, one JSON line back:
//   state              platform, tray and the status item's place
//   menu               the drawn QMenu and the model's rendering
//   open-menu          opens the status menu; whether it shows and where
//   show offline       the offline-time window with seven labels (one empty)
//   show focus         the focus-session window
//   show troubleshooting   the troubleshooting window with live values
//   show about         the About panel
//   hide               hides every window
//   quit               ends the loop (exit code 0)

#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "gui/desktop_ui.h"
#include "gui/osx_system_tray_menu.h"
#include "platform/main_queue.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_status_item.h"
#include "tests/support_desktop/main_loop_commands.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QWidget>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

using nlohmann::json;

std::string utf8(const std::wstring& text) { return kes::util::wstring_to_utf8_lossy(text); }

json place(const QRect& r) { return json::array({r.x(), r.y(), r.width(), r.height()}); }

json drawn(const QMenu& menu) {
    json out = json::array();
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            out.push_back({{"separator", true}});
            continue;
        }
        json entry = {{"separator", false},
                      {"id", kes::osx_system_tray_menu::item_id_of(*action)},
                      {"text", action->text().replace(QLatin1String("&&"), QLatin1String("&")).toStdString()},
                      {"enabled", action->isEnabled()},
                      {"checked", action->isCheckable() && action->isChecked()}};
        if (QMenu* submenu = action->menu()) entry["children"] = drawn(*submenu);
        out.push_back(entry);
    }
    return out;
}

json rendered(const std::vector<kes::rendered_menu_item>& items) {
    json out = json::array();
    for (const auto& item : items) {
        if (item.separator) {
            out.push_back({{"separator", true}});
            continue;
        }
        json entry = {{"separator", false}, {"id", item.id},          {"text", utf8(item.text)},
                      {"enabled", item.enabled}, {"checked", item.checked}};
        if (item.has_submenu) entry["children"] = rendered(item.children);
        out.push_back(entry);
    }
    return out;
}

json window_answer(QWidget* window) {
    return {{"visible", window->isVisible()}, {"geometry", place(window->frameGeometry())}};
}

}  // namespace

int main(int argc, char** argv) {
    std::string resources;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--resources") resources = argv[i + 1];
    }
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    kes::config& settings = kes::config::instance();
    settings.set_account_key(L"AK-probe-0001");  // signed in: no setup popover

    platform::desktop desktop = platform::make_qt_desktop(queue);
    auto& item = static_cast<platform::qt_status_item&>(*desktop.status);
    auto& app = static_cast<platform::qt_application&>(*desktop.app);
    kes::osx_ui::provide_services(kes::make_desktop_ui_services(desktop, queue));
    auto* bridge = static_cast<kes::osx_ui*>(kes::ui::get_instance());

    kes::controller_seams seams;
    seams.resource_dir = resources;
    seams.accessibility_trusted = [] { return false; };
    seams.launch_arguments_given = true;
    auto controller = std::make_shared<kes::KestrelController>(*bridge, seams);
    bridge->set_delegate(controller);
    controller->awakeFromNib();
    controller->applicationDidFinishLaunching();
    bridge->get_tray_menu()->refresh_if_dirty();

    kes::testing::serve_command_lines(queue, [&](const std::string& command) {
        json answer;
        if (command == "state") {
            answer = {{"platform", app.platform_name()},
                      {"tray_available", item.tray_available()},
                      {"visible", item.visible()},
                      {"geometry", place(item.tray_icon().geometry())}};
        } else if (command == "menu") {
            answer = {{"drawn", drawn(item.menu())}, {"rendered", rendered(bridge->get_tray_menu()->render())}};
        } else if (command == "open-menu") {
            item.open_menu();
            answer = {{"menu_visible", item.menu().isVisible()}, {"menu_geometry", place(item.menu().geometry())}};
        } else if (command == "show offline") {
            settings.set_timepie_labels(
                {L"Meeting", L"Phone call", L"", L"Lunch", L"Reading", L"Travel", L"Seventh"});
            bridge->ux_set_offline_time_labels({});
            bridge->ux_set_offline_time_start_time(L"What were you doing since 14:05?");
            bridge->ux_set_offline_time_elapsed_time(L"00:42:17");
            bridge->ux_show_offline_time();
            answer = window_answer(controller->offlineTimePanel()->afkEntryPanel.get());
        } else if (command == "show focus") {
            bridge->show_still_zone_window();
            bridge->set_still_zone_minutes(30);
            answer = window_answer(controller->focusPanel()->blockingPanel.get());
        } else if (command == "show troubleshooting") {
            bridge->set_ts_debug_log_location(L"/home/ana/.local/share/KestrelData/log/debug_log.txt");
            bridge->set_ts_idle_time(3);
            bridge->set_ts_os_username(L"ana");
            bridge->set_ts_machine_name(L"ana-desktop");
            bridge->set_ts_application_name(L"xterm");
            bridge->set_ts_application_version(L"379");
            bridge->set_ts_window_title(L"alpha window");
            bridge->set_ts_extended_info(L"");
            controller->openTroubleshooting();
            answer = window_answer(controller->troubleshootingWindow()->ts_window.get());
        } else if (command == "show about") {
            controller->aboutPanel();
            answer = window_answer(controller->aboutPanelBox());
        } else if (command == "hide") {
            const auto* offline = controller->offlineTimePanel();
            const auto* focus = controller->focusPanel();
            const auto* troubleshooting = controller->troubleshootingWindow();
            const auto* help = controller->helpWindow();
            for (QWidget* window : {offline ? offline->afkEntryPanel.get() : nullptr,
                                    focus ? focus->blockingPanel.get() : nullptr,
                                    troubleshooting ? troubleshooting->ts_window.get() : nullptr,
                                    help ? help->helpWindow.get() : nullptr,
                                    static_cast<QWidget*>(controller->aboutPanelBox())}) {
                if (window) window->hide();
            }
            item.menu().hide();
            answer = {{"hidden", true}};
        } else {
            answer = {{"error", "unknown command"}};
        }
        std::cout << answer.dump() << std::endl;
    });
    std::cout << json{{"ready", true}}.dump() << std::endl;
    const int code = desktop.app->run();
    // Widgets end before the application object does.
    controller.reset();
    bridge->end_desktop();
    return code;
}
