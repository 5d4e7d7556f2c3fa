// Drives the UI logic (status menu, menu actions, the event loop's passes)
// against a service from the command line, for end-to-end scripts:
// kes_ui_probe --ca FILE. Settings come from the home's kestreld.json; the
// user interface is the recording one, initialised as the platform would.
// One command a line on standard input, one JSON line back:
//   now            the probe's local time (it stands still until advanced)
//   advance S      moves the clock S seconds ahead
//   pass [N]       N passes of the event loop (1 by default), each moving
//                  the clock 500 ms on, as the loop's sleep would
//   menu           the menu as it is to be shown (the rendering)
//   tree           every item of the menu, shown or not, with its flags
//   action ID      a menu selection
//   end_focus      the focus window's Cancel: ends the running session
//   set KEY VALUE  a setting: enterprise_team_key, logging_enabled (0/1)
//   state          notifications, menu rebuilds, pause and focus state
//   quit
#include "core/foundation/config.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/service/api.h"
#include "core/service/puller.h"
#include "core/service/service_activation.h"
#include "core/service/sync_service.h"
#include "tests/support/recording_ui.h"

#include <boost/date_time/c_local_time_adjustor.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <iostream>
#include <string>

namespace {

using boost::posix_time::ptime;

std::atomic<long long> clock_offset_ms{0};

ptime probe_now() {
    static const ptime started = boost::date_time::c_local_adjustor<ptime>::utc_to_local(
        boost::posix_time::second_clock::universal_time());
    return started + boost::posix_time::milliseconds(clock_offset_ms.load());
}

std::string text(const ptime& t) { return t.is_special() ? "" : boost::posix_time::to_iso_extended_string(t); }
std::string utf8(const std::wstring& t) { return kes::util::wstring_to_utf8_lossy(t); }

nlohmann::json rendered(const std::vector<kes::rendered_menu_item>& items) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& item : items) {
        nlohmann::json entry = {{"id", item.id}, {"separator", item.separator}};
        if (!item.separator) {
            entry["text"] = utf8(item.text);
            entry["enabled"] = item.enabled;
            entry["checked"] = item.checked;
            if (item.has_submenu) entry["children"] = rendered(item.children);
        }
        out.push_back(entry);
    }
    return out;
}

nlohmann::json tree(const std::vector<kes::tray_menu_item>& items) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& item : items) {
        out.push_back({{"id", item.id}, {"text", utf8(item.text)}, {"visible", item.visible},
                       {"enabled", item.enabled}, {"checked", item.checked}, {"children", tree(item.children)}});
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "--ca") {
        std::cerr << "usage: kes_ui_probe --ca FILE\n";
        return 2;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    kes::config& settings = kes::config::instance();
    settings.set_clock(&probe_now);

    kes::network::transport_options transport;
    transport.ca_bundle_path = argv[2];
    transport.timeout_seconds = 10;
    transport.connect_timeout_seconds = 10;
    Kestrel::Network::API api(transport, [](kes::network::request&) {});
    settings.set_activation_service(std::make_shared<kes::service_activation>(api));
    const auto service = kes::make_sync_service(api);

    kes::testing::recording_ui user_interface;
    user_interface.set_puller_factory([&] {
        return std::make_unique<kes::puller>(service, kes::system::create(),
                                             [&]() -> kes::ui* { return &user_interface; });
    });
    user_interface.init();
    settings.set_gui_loaded(true);

    std::string line;
    while (std::getline(std::cin, line)) {
        const auto space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
        nlohmann::json answer = nlohmann::json::object();
        if (command == "quit") break;
        if (command == "now") {
            answer["now"] = text(probe_now());
        } else if (command == "advance") {
            clock_offset_ms += 1000LL * std::stol(argument);
            answer["now"] = text(probe_now());
        } else if (command == "pass") {
            const int count = argument.empty() ? 1 : std::stoi(argument);
            for (int i = 0; i < count; ++i) {
                user_interface.run_event_pass();
                clock_offset_ms += 500;
            }
            answer["passes"] = count;
        } else if (command == "menu") {
            answer["menu"] = rendered(user_interface.menu().render());
        } else if (command == "tree") {
            answer["tree"] = tree(user_interface.menu().items());
        } else if (command == "action") {
            user_interface.on_menu_action(std::stoi(argument));
        } else if (command == "end_focus") {
            user_interface.end_focus_session();
        } else if (command == "set") {
            const auto value_at = argument.find(' ');
            const std::string key = argument.substr(0, value_at);
            const std::string value = value_at == std::string::npos ? std::string() : argument.substr(value_at + 1);
            if (key == "enterprise_team_key") {
                settings.set_enterprise_team_key(kes::util::utf8_to_wstring(value));
            } else if (key == "logging_enabled") {
                settings.set_logging_enabled(value == "1");
            } else {
                answer["error"] = "unknown setting " + key;
            }
        } else if (command == "state") {
            nlohmann::json notifications = nlohmann::json::array();
            for (const auto& shown : user_interface.notifications()) notifications.push_back(utf8(shown));
            nlohmann::json opened = nlohmann::json::array();
            for (const auto& address : user_interface.opened_urls()) opened.push_back(utf8(address));
            answer = {{"now", text(probe_now())},
                      {"notifications", notifications},
                      {"opened", opened},
                      {"menu_shows", user_interface.menu().show_count()},
                      {"paused", settings.is_paused()},
                      {"paused_until", text(settings.get_paused_until())},
                      {"blocking", settings.is_blocking()},
                      {"blocking_until", text(settings.get_blocking_until())},
                      {"quit_requests", user_interface.quit_requests()}};
        } else {
            answer["error"] = "unknown command " + command;
        }
        std::cout << answer.dump() << std::endl;
    }
    return 0;
}
