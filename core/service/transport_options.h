#pragma once
// How a request reaches the service beyond what the configuration says: the
// certificate bundle and the time-outs. The defaults are the agent's own;
// test and probe programs pass other ones (the stand-in's certificate, short
// time-outs).

#include <string>

namespace kes::network {

struct transport_options {
    // Empty: the bundle of the application (`kes::system::get_ca_bundle_path`).
    std::string ca_bundle_path;
    long timeout_seconds = 60;
    long connect_timeout_seconds = 30;
};

}  // namespace kes::network
