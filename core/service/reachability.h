#pragma once
// Tells a dead network from a dead service, and turns libcurl result codes
// into status-line texts.

#include "core/service/transport_options.h"

#include <string>

namespace kes::network {

// The probe's address: the environment variable KES_REACHABILITY_PROBE_URL
// when set and non-empty, else the build setting.
std::string reachability_probe_url();

// One plain GET of the probe address, without proxy or certificate
// settings but with the request layer's time-outs; the libcurl result code.
// Not run once the agent is stopping (CURLE_ABORTED_BY_CALLBACK then).
int internet_probe(const transport_options& options = {});

// The status-line text for a libcurl result code; runs the probe for the
// codes that could mean either a missing network or an unknown host.
// `host` is the host the failed transfer asked for (empty: the service's
// default host), named in the unknown-host text.
std::wstring curl_code_to_text(int code, const transport_options& options = {}, const std::wstring& host = {});

}  // namespace kes::network
