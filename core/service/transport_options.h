#pragma once
// How a request reaches the service beyond what the configuration says: the
// certificate bundle, the time-outs and the stop it follows. The defaults are
// the agent's own; test and probe programs pass other ones (the stand-in's
// certificate, short time-outs, a stop of their own).

#include <memory>
#include <string>

namespace kes::network {

class transfer_stop;

struct transport_options {
    // Empty: the bundle of the application (`kes::system::get_ca_bundle_path`).
    std::string ca_bundle_path;
    long timeout_seconds = 60;
    long connect_timeout_seconds = 30;
    // None: the token the process has installed (core/service/transfer_stop.h).
    std::shared_ptr<const transfer_stop> stop;
};

}  // namespace kes::network
