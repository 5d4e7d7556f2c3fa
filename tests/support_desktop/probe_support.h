#pragma once
// What the probe programs that talk to the service stand-in share: a clock
// that stands still until advanced (so a script's sums never straddle a
// second that ticked), and the service client, which trusts the given
// certificate file and activates the account for the configuration store.

#include "core/service/api.h"
#include "core/service/puller.h"
#include "core/service/sync_service.h"
#include "tests/support/still_clock.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>

namespace platform {
class main_queue;
}

namespace kes::testing {

// Once made (libcurl initialised), the configuration store reads `clock` and
// activates through `api`.
struct probe_service {
    explicit probe_service(const std::string& ca_file);

    // A puller over this client that reaches the user through `user_interface`.
    std::unique_ptr<kes::puller> make_puller(kes::ui& user_interface) const;

    still_clock clock;
    Kestrel::Network::API api;
    std::shared_ptr<kes::sync_service> sync;
};

// Answers "COMMAND ARGUMENT" lines from standard input, one JSON line each,
// until "quit" or the end of the input.
using command_handler = std::function<nlohmann::json(const std::string& command, const std::string& argument)>;
void serve_commands(const command_handler& handle);
// The same inside the main queue's loop (a toolkit's loop): lines are read as
// they arrive; "quit" or the end of the input ends the loop with code 0.
void serve_commands_on(platform::main_queue& queue, command_handler handle);

}  // namespace kes::testing
