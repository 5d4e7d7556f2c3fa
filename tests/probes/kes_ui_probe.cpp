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
#include "core/service/puller.h"
#include "tests/support/probe_support.h"
#include "tests/support/recording_ui.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

using boost::posix_time::ptime;

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
    kes::config& settings = kes::config::instance();
    kes::testing::probe_service client(argv[2]);
    kes::testing::still_clock& clock = client.clock;

    kes::testing::recording_ui user_interface;
    user_interface.set_puller_factory([&] { return client.make_puller(user_interface); });
    user_interface.init();
    settings.set_gui_loaded(true);

    kes::testing::serve_commands([&](const std::string& command, const std::string& argument) {
        nlohmann::json answer = nlohmann::json::object();
        if (command == "now") {
            answer["now"] = text(clock.now());
        } else if (command == "advance") {
            clock.advance(boost::posix_time::seconds(std::stol(argument)));
            answer["now"] = text(clock.now());
        } else if (command == "pass") {
            const int count = argument.empty() ? 1 : std::stoi(argument);
            for (int i = 0; i < count; ++i) {
                user_interface.run_event_pass();
                clock.advance(boost::posix_time::milliseconds(500));
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
            answer = {{"now", text(clock.now())},
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
        return answer;
    });
    return 0;
}
