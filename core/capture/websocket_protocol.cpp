#include "core/capture/websocket_protocol.h"

#include "core/foundation/text.h"
#include "core/service/redaction.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// Every "account_key" string shows only its last characters, also in text
// that is no valid JSON.
std::string without_account_keys(std::string_view payload) {
    static constexpr std::string_view name = "\"account_key\"";
    const auto skip_blanks = [](const std::string& text, std::size_t at) {
        while (at < text.size() && std::strchr(" \t\r\n", text[at]) != nullptr && text[at] != '\0') ++at;
        return at;
    };
    std::string text(payload);
    for (std::size_t found = text.find(name); found != std::string::npos; found = text.find(name, found + 1)) {
        std::size_t at = skip_blanks(text, found + name.size());
        if (at >= text.size() || text[at] != ':') continue;
        at = skip_blanks(text, at + 1);
        if (at >= text.size() || text[at] != '"') continue;
        const std::size_t begin = at + 1;
        std::size_t end = begin;
        while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
        end = std::min(end, text.size());
        text.replace(begin, end - begin, network::redact_key(std::string_view(text).substr(begin, end - begin)));
    }
    return text;
}

// The parser's own text echoes the input it last read; a hello's key or a
// visited address must not reach the log that way.
json parsed(std::string_view payload) {
    try {
        return json::parse(payload);
    } catch (const json::parse_error& e) {
        const std::string text = e.what();
        throw std::invalid_argument(text.substr(0, text.find("; last read")));
    }
}

}  // namespace

incoming_message read_message(std::string_view payload) {
    const json message = parsed(payload);
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
    const std::wstring text = util::utf8_to_wstring_lossy(without_account_keys(payload));
    return util::replace_all(util::replace_all(text, L"\r", L"\\r"), L"\n", L"\\n");
}

}  // namespace kes::websocket_protocol
