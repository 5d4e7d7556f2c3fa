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
#include "core/service/api.h"
#include "core/service/puller.h"
#include "core/service/pusher.h"
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

std::atomic<long> clock_offset_seconds{0};

ptime probe_now() {
    static const ptime started = boost::date_time::c_local_adjustor<ptime>::utc_to_local(
        boost::posix_time::second_clock::universal_time());
    return started + boost::posix_time::seconds(clock_offset_seconds.load());
}

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
    const auto make_puller = [&] {
        return std::make_unique<kes::puller>(service, kes::system::create(),
                                             [&]() -> kes::ui* { return &user_interface; });
    };
    user_interface.set_puller_factory(make_puller);
    kes::logger& activity = kes::logger::get_instance();
    kes::pusher pusher(service, activity, kes::system::create());

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
            clock_offset_seconds += std::stol(argument);
            answer["now"] = text(probe_now());
        } else if (command == "record") {
            const ptime now = probe_now();
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
        std::cout << answer.dump() << std::endl;
    }
    return 0;
}
