// Drives the pusher and the puller against a service from the command line,
// for end-to-end scripts: kes_sync_probe --ca FILE. Settings come from the
// home's kestreld.json. One command a line on standard input, one JSON line
// back:
//   now            the probe's local time (it stands still until advanced,
//                  so a script's sums never straddle a second that ticked)
//   advance S      moves the probe's clock S seconds ahead
//   record TITLE   logs one activity record with that window title
//   shove          one pusher pass; answers the status line
//   pull_alerts    the alerts pull; answers the focus-session state
//   refresh        the block-list refresh of message 5; answers the state
//   state          the focus-session state
//   quit
#include "core/capture/log_entry.h"
#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/service/puller.h"
#include "core/service/pusher.h"
#include "tests/support_desktop/probe_support.h"
#include "tests/support/recording_ui.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

using boost::posix_time::ptime;

std::string text(const ptime& t) { return t.is_special() ? "" : boost::posix_time::to_iso_extended_string(t); }

nlohmann::json focus_state(const kes::config& settings) {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : settings.get_blocked_items()) items.push_back(kes::util::wstring_to_utf8_lossy(item));
    return {{"blocking", settings.is_blocking()}, {"blocking_until", text(settings.get_blocking_until())},
            {"blocked_items", items}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "--ca") {
        std::cerr << "usage: kes_sync_probe --ca FILE\n";
        return 2;
    }
    kes::config& settings = kes::config::instance();
    kes::testing::probe_service client(argv[2]);
    kes::testing::still_clock& clock = client.clock;

    kes::testing::recording_ui user_interface;
    const auto make_puller = [&] { return client.make_puller(user_interface); };
    user_interface.set_puller_factory(make_puller);
    kes::logger& activity = kes::logger::get_instance();
    kes::pusher pusher(client.sync, activity, kes::system::create());

    kes::testing::serve_commands([&](const std::string& command, const std::string& argument) {
        nlohmann::json answer = nlohmann::json::object();
        if (command == "now") {
            answer["now"] = text(clock.now());
        } else if (command == "advance") {
            clock.advance(boost::posix_time::seconds(std::stol(argument)));
            answer["now"] = text(clock.now());
        } else if (command == "record") {
            const ptime now = clock.now();
            activity.log(kes::log_entry(L"editor", now, L"workstation", L"", L"alice", L"editor", L"", L"1.0",
                                        now - boost::posix_time::seconds(5), kes::util::utf8_to_wstring(argument)));
            answer["records"] = activity.record_count();
        } else if (command == "shove") {
            pusher.shove();
            answer["status"] = kes::util::wstring_to_utf8_lossy(settings.get_status_message());
            answer["severity"] = settings.get_status_severity();
        } else if (command == "pull_alerts") {
            make_puller()->pull_alerts();
            answer = focus_state(settings);
        } else if (command == "refresh") {
            make_puller()->update_blocked_list_no_params();
            answer = focus_state(settings);
        } else if (command == "state") {
            answer = focus_state(settings);
        } else {
            answer["error"] = "unknown command " + command;
        }
        return answer;
    });
    return 0;
}
