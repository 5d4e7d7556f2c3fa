#include "tests/support_desktop/probe_support.h"

#include "core/foundation/config.h"
#include "core/foundation/system.h"
#include "core/service/service_activation.h"
#include "tests/support_desktop/main_loop_commands.h"

#include <curl/curl.h>

#include <iostream>
#include <memory>

namespace kes::testing {
namespace {

kes::network::transport_options standin_transport(const std::string& ca_file) {
    curl_global_init(CURL_GLOBAL_ALL);
    kes::network::transport_options transport;
    transport.ca_bundle_path = ca_file;
    transport.timeout_seconds = 10;
    transport.connect_timeout_seconds = 10;
    return transport;
}

}  // namespace

probe_service::probe_service(const std::string& ca_file)
    : api(standin_transport(ca_file), [](kes::network::request&) {}), sync(kes::make_sync_service(api)) {
    config::instance().set_clock([this] { return clock.now(); });
    config::instance().set_activation_service(std::make_shared<kes::service_activation>(api));
}

std::unique_ptr<kes::puller> probe_service::make_puller(kes::ui& user_interface) const {
    return std::make_unique<kes::puller>(sync, kes::system::create(),
                                         [target = &user_interface]() -> kes::ui* { return target; });
}

void serve_commands(const command_handler& handle) {
    std::string line;
    while (std::getline(std::cin, line)) {
        const command_line split = split_command_line(line);
        if (split.command == "quit") break;
        std::cout << handle(split.command, split.argument).dump() << std::endl;
    }
}

void serve_commands_on(platform::main_queue& queue, command_handler handle) {
    serve_command_lines(queue, [handle = std::move(handle)](const std::string& line) {
        const command_line split = split_command_line(line);
        std::cout << handle(split.command, split.argument).dump() << std::endl;
    });
}

}  // namespace kes::testing
