// Drives the preferences windows on a real display for the end-to-end
// checks: the toolkit's desktop, the UI bridge and the application
// controller as the agent makes them, signing in against the service
// stand-in. Pages never open (a recording opener takes them). The probe does
// the UI thread's part of forwarding status texts, four times a second.
//   kes_preferences_probe --ca FILE --resources DIR [--level MAJOR.MINOR]
// One command a line on stdin, one JSON line back:
//   show          opens the window as the menu item does
//   window        its title, whether it shows, its frame and content boxes
//   where NAME    the screen box and centre of the widget named NAME
//   text NAME     its text, and what it shows (a password field hides it)
//   row N         the screen centre of the panes' row N
//   state         the sign-in, the pane shown and the panes' store
//   quit          ends the loop (exit code 0)

#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "core/service/api.h"
#include "core/service/service_activation.h"
#include "core/service/ui_thread_rule.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "gui/PreferencesWindowController.h"
#include "gui/desktop_ui.h"
#include "platform/fake/fake_system_version.h"
#include "platform/fake/fake_url_opener.h"
#include "platform/main_queue.h"
#include "platform/qt/qt_desktop.h"
#include "tests/support_desktop/probe_support.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QWidget>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

using nlohmann::json;

std::string utf8(const std::wstring& text) { return kes::util::wstring_to_utf8_lossy(text); }

json box(const QRect& r) { return json::array({r.x(), r.y(), r.width(), r.height()}); }

json screen_box(const QWidget& widget) {
    const QRect inside(widget.mapToGlobal(QPoint(0, 0)), widget.size());
    return {{"found", true},
            {"visible", widget.isVisible()},
            {"box", box(inside)},
            {"centre", json::array({inside.center().x(), inside.center().y()})}};
}

json text_of(const QWidget& widget) {
    if (const auto* field = qobject_cast<const QLineEdit*>(&widget)) {
        return {{"text", field->text().toStdString()}, {"shown", field->displayText().toStdString()}};
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) return {{"text", label->text().toStdString()}};
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return {{"text", button->text().toStdString()}, {"enabled", button->isEnabled()}};
    }
    return {{"error", "no text"}};
}

}  // namespace

int main(int argc, char** argv) {
    std::string ca_file;
    std::string resources;
    platform::os_version level = platform::linux_capability_level;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--ca") ca_file = argv[i + 1];
        if (option == "--resources") resources = argv[i + 1];
        if (option == "--level") std::sscanf(argv[i + 1], "%d.%d", &level.major, &level.minor);
    }
    if (ca_file.empty() || resources.empty()) {
        std::cerr << "usage: kes_preferences_probe --ca FILE --resources DIR [--level MAJOR.MINOR]\n";
        return 2;
    }
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    curl_global_init(CURL_GLOBAL_ALL);
    kes::network::transport_options transport;
    transport.ca_bundle_path = ca_file;
    transport.timeout_seconds = 20;
    kes::osx_ui* bridge_seen = nullptr;
    Kestrel::Network::API api(transport, [&](kes::network::request& call) { bridge_seen->add_computer_params(call); });
    // As in the agent, the account a sign-in stored is checked with the
    // service; and no request may wait on the thread that draws the windows.
    kes::config::instance().set_activation_service(std::make_shared<kes::service_activation>(api));
    kes::network::set_ui_thread_rule([&queue] { return queue.is_main_thread(); }, kes::network::ui_thread_policy::refuse);

    platform::desktop desktop = platform::make_qt_desktop(queue);
    desktop.opener = std::make_shared<platform::fake_url_opener>();
    desktop.version = std::make_shared<platform::fake_system_version>(level);
    kes::ui::seams with;
    with.service_client = &api;
    auto bridge = std::make_unique<kes::osx_ui>(kes::make_desktop_ui_services(desktop, queue), with);
    bridge_seen = bridge.get();
    bridge->init();

    kes::controller_seams seams;
    seams.resource_dir = resources;
    seams.accessibility_trusted = [] { return true; };
    seams.launch_arguments_given = true;
    auto controller = std::make_shared<kes::KestrelController>(*bridge, seams);
    bridge->set_delegate(controller);
    controller->awakeFromNib();

    // The UI thread's forwarding of status texts.
    QTimer status_pass;
    QObject::connect(&status_pass, &QTimer::timeout, [&] { bridge->update_status_text(); });
    status_pass.start(250);
    // By the time a user can open a window the agent's UI thread has passed
    // once; a show racing the first pass would see its text replaced.
    bridge->update_status_text();

    const auto preferences_window = [&]() -> QWidget& { return controller->preferencesWC()->window(); };
    auto* panes = dynamic_cast<kes::PreferencesWindowController*>(controller->preferencesWC());

    kes::testing::serve_commands_on(queue, [&](const std::string& command, const std::string& argument) -> json {
        if (command == "show") {
            controller->showPreferencesWindow();
            return {{"shown", preferences_window().isVisible()}};
        }
        if (command == "window") {
            QWidget& window = preferences_window();
            return {{"title", window.windowTitle().toStdString()},
                    {"visible", window.isVisible()},
                    {"frame", box(window.frameGeometry())},
                    {"content", box(window.geometry())}};
        }
        if (command == "where" || command == "text") {
            const auto* widget = preferences_window().findChild<QWidget*>(QString::fromStdString(argument));
            if (!widget) return {{"found", false}};
            return command == "where" ? screen_box(*widget) : text_of(*widget);
        }
        if (command == "row" && panes && panes->rootView()) {
            QListWidget* list = panes->rootView()->navigation->list;
            const QRect row = list->visualItemRect(list->item(std::stoi(argument)));
            const QPoint centre = list->viewport()->mapToGlobal(row.center());
            return {{"centre", json::array({centre.x(), centre.y()})}};
        }
        if (command == "state") {
            json answer = {{"signing_in", bridge->is_signing_in()},
                           {"signed_in", !kes::config::instance().get_account_key().empty()},
                           {"panes", panes != nullptr}};
            if (panes && panes->rootView()) {
                const kes::PreferencesStore& store = panes->preferencesStore();
                answer["pane"] = panes->rootView()->navigation->shownOption().raw_title();
                answer["store"] = {{"statusMessage", utf8(store.statusMessage.get())},
                                   {"signingIn", store.signingIn.get()},
                                   {"signedIn", store.signedIn.get()},
                                   {"proxyFormVisible", store.proxyFormVisible.get()}};
            }
            return answer;
        }
        return {{"error", "unknown command"}};
    });
    std::cout << json{{"ready", true}}.dump() << std::endl;
    const int code = desktop.app->run();
    status_pass.stop();
    // A sign-in still running ends without the main queue.
    queue.close();
    bridge->finish_sign_in();
    // Widgets end before the application object does.
    controller.reset();
    bridge->end_desktop();
    return code;
}
