#pragma once
// A parsed answer of the web service, handed on as a whole (settings, the
// browser-support table) or checked for its result code.

#include <nlohmann/json.hpp>

namespace Kestrel::Network {

using service_answer = nlohmann::json;

}  // namespace Kestrel::Network
