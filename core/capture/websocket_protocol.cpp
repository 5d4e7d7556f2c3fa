#include "core/capture/websocket_protocol.h"

#include "core/foundation/text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace kes::websocket_protocol {
namespace {

using json = nlohmann::json;

// Any JSON number as a whole number, cut toward zero and held to 32 bits.
std::int32_t to_int32(const json& number) {
    constexpr auto low = std::numeric_limits<std::int32_t>::min();
    constexpr auto high = std::numeric_limits<std::int32_t>::max();
    if (number.is_number_unsigned()) {
        return static_cast<std::int32_t>(std::min<std::uint64_t>(number.get<std::uint64_t>(), high));
    }
    if (number.is_number_integer()) {
        const std::int64_t value = number.get<std::int64_t>();
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, low, high));
    }
    const double value = std::trunc(number.get<double>());
    if (value <= low) return low;
    if (value >= high) return high;
    return static_cast<std::int32_t>(value);
}

const json& member(const json& message, const char* name) {
    const auto found = message.find(name);
    if (found == message.end()) throw std::invalid_argument(std::string("missing member \"") + name + "\"");
    return *found;
}

}  // namespace

incoming_message read_message(std::string_view payload) {
    const json message = json::parse(payload);
    incoming_message result;
    if (!message.is_object()) return result;
    const auto id = message.find("message_id");
    if (id == message.end() || !id->is_number()) return result;

    switch (to_int32(*id)) {
        case 0: {
            const json& key = member(message, "account_key");
            const json& version = member(message, "protocol_version");
            if (!version.is_number()) throw std::invalid_argument("\"protocol_version\" is not a number");
            result.account_key = util::utf8_to_wstring(key.get_ref<const std::string&>());
            result.protocol_version = to_int32(version);
            result.type = incoming_message::kind::hello;
            break;
        }
        case 2: {
            const auto url = message.find("url");
            if (url == message.end() || !url->is_string()) break;
            result.url = util::utf8_to_wstring(url->get_ref<const std::string&>());
            result.type = incoming_message::kind::address;
            break;
        }
        default:
            break;
    }
    return result;
}

std::string hello_reply(bool valid) {
    return json{{"message_id", 1}, {"protocol_version", protocol_version}, {"valid", valid}}.dump();
}

std::string block_message(const std::wstring& url, const std::wstring& block_url, std::int64_t seconds_left) {
    return json{{"block_url", util::wstring_to_utf8_lossy(block_url)},
                {"message_id", 3},
                {"stillzone_duration", seconds_left},
                {"url", util::wstring_to_utf8_lossy(url)}}
        .dump();
}

std::wstring loggable(std::string_view payload) {
    return util::replace_all(util::replace_all(util::utf8_to_wstring_lossy(payload), L"\r", L"\\r"), L"\n",
                             L"\\n");
}

}  // namespace kes::websocket_protocol
