// Drives the UI logic (status menu, menu actions, the event loop's passes)
// against a service from the command line, for end-to-end scripts:
// kes_ui_probe --ca FILE. Settings come from the home's kestreld.json; the
// user interface is the recording one, initialised as the platform would.
// One command a line on standard input, one JSON line back:
//   now            the probe's local time (it stands still until advanced)
//   advance S      moves the clock S seconds ahead (back, for S < 0)
//   pass [N]       N passes of the event loop (1 by default), each moving
//                  the clock 500 ms on, as the loop's sleep would
//   menu           the menu as it is to be shown (the rendering)
//   tree           every item of the menu, shown or not, with its flags
//   action ID      a menu selection
//   end_focus      the focus window's Cancel: ends the running session
//   refresh        the service's block-list message: the block list pulled
//   set KEY VALUE  a setting: enterprise_team_key, logging_enabled (0/1)
//   state          notifications, menu rebuilds, pause and focus state,
//                  offline-time prompts shown
//   idle S         the idle time the platform reports from now on
//   signin EMAIL PASSWORD [CODE...]
//                  a sign-in on its own thread, as the windows start it; the
//                  codes answer the second-factor prompts, then Cancel
//   offline LABEL|DETAILS
//                  the offline-time window submitted
//   flush          the activity logger writes its records to an upload file
//   quit
#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/service/puller.h"
#include "tests/support_desktop/probe_support.h"
#include "tests/support/recording_ui.h"
#include "tests/support/settable_idle_system.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <future>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

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

const char* result_name(kes::ui::sign_in_result result) {
    switch (result) {
        case kes::ui::sign_in_result::signed_in: return "signed_in";
        case kes::ui::sign_in_result::failed: return "failed";
        case kes::ui::sign_in_result::cancelled: return "cancelled";
        case kes::ui::sign_in_result::busy: return "busy";
    }
    return "?";
}

nlohmann::json sign_in(kes::testing::recording_ui& user_interface, const std::string& argument) {
    std::istringstream words(argument);
    std::string email, password;
    words >> email >> password;
    std::vector<std::wstring> codes;
    for (std::string code; words >> code;) codes.push_back(kes::util::utf8_to_wstring(code));
    user_interface.answer_sign_in(kes::util::utf8_to_wstring(email), kes::util::utf8_to_wstring(password));
    user_interface.answer_two_factor_codes(codes);
    std::promise<kes::ui::sign_in_result> finished;
    if (!user_interface.start_sign_in([&](kes::ui::sign_in_result result) { finished.set_value(result); })) {
        return {{"error", "a sign-in is running"}};
    }
    const kes::ui::sign_in_result result = finished.get_future().get();
    kes::config& settings = kes::config::instance();
    int post_activations = 0;
    for (const auto& call : user_interface.calls()) post_activations += call == L"set_state_post_activate";
    return {{"result", result_name(result)},
            {"status", utf8(settings.get_status_message())},
            {"severity", settings.get_status_severity()},
            {"prompts", user_interface.two_factor_prompts()},
            {"post_activations", post_activations}};
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

    auto idle = std::make_shared<kes::testing::settable_idle_system>();
    kes::testing::recording_ui user_interface([&] {
        kes::ui::seams with;
        with.platform_system = idle;
        with.service_client = &client.api;
        // A command answers once its work is done: focus requests run in it.
        with.run_focus_request = [](std::function<void()> request) { request(); };
        return with;
    }());
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
        } else if (command == "refresh") {
            client.make_puller(user_interface)->update_blocked_list_no_params();
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
            int offline_prompts = 0;
            for (const auto& call : user_interface.calls()) offline_prompts += call == L"ux_show_offline_time";
            answer = {{"now", text(clock.now())},
                      {"notifications", notifications},
                      {"opened", opened},
                      {"menu_shows", user_interface.menu().show_count()},
                      {"paused", settings.is_paused()},
                      {"paused_until", text(settings.get_paused_until())},
                      {"blocking", settings.is_blocking()},
                      {"blocking_until", text(settings.get_blocking_until())},
                      {"quit_requests", user_interface.quit_requests()},
                      {"offline_prompts", offline_prompts}};
        } else if (command == "idle") {
            idle->idle = std::stod(argument);
        } else if (command == "signin") {
            answer = sign_in(user_interface, argument);
        } else if (command == "offline") {
            const auto bar = argument.find('|');
            user_interface.on_enter_offline_time(kes::util::utf8_to_wstring(argument.substr(0, bar)),
                                                 bar == std::string::npos
                                                     ? std::wstring()
                                                     : kes::util::utf8_to_wstring(argument.substr(bar + 1)));
        } else if (command == "flush") {
            answer["written"] = kes::logger::get_instance().write_current_log_to_disk();
        } else {
            answer["error"] = "unknown command " + command;
        }
        return answer;
    });
    return 0;
}
