#include "core/capture/websocket_protocol.h"

#include "core/capture/log_entry.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/text.h"
#include "core/service/redaction.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
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

constexpr std::string_view blanks = " \t\r\n";

bool is_blank(char c) { return blanks.find(c) != std::string_view::npos; }

std::size_t skip_blanks(std::string_view text, std::size_t at) {
    while (at < text.size() && is_blank(text[at])) ++at;
    return at;
}

// A string token that opens at some quotation mark: where it ends (just past
// its closing quotation mark, or with a text that is cut off) and what
// stands between its quotation marks.
struct string_token {
    std::size_t end;
    std::string_view content;
};

string_token string_at(std::string_view text, std::size_t open) {
    std::size_t at = open + 1;
    while (at < text.size() && text[at] != '"') at += text[at] == '\\' ? 2 : 1;
    if (at < text.size()) return {at + 1, text.substr(open + 1, at - open - 1)};
    return {text.size(), text.substr(open + 1)};
}

// The end of the value that starts at `begin`, however it is written: a
// string, a nested array or object (brackets counted outside strings), or
// anything else up to the next separator. A cut-off value ends with the text.
std::size_t value_end(std::string_view text, std::size_t begin) {
    if (begin >= text.size()) return begin;
    if (text[begin] == '"') return string_at(text, begin).end;
    if (text[begin] == '[' || text[begin] == '{') {
        std::size_t depth = 0;
        for (std::size_t at = begin; at < text.size();) {
            const char c = text[at];
            if (c == '"') {
                at = string_at(text, at).end;
                continue;
            }
            if (c == '[' || c == '{') ++depth;
            if ((c == ']' || c == '}') && --depth == 0) return at + 1;
            ++at;
        }
        return text.size();
    }
    std::size_t at = begin;
    while (at < text.size() && !is_blank(text[at]) && text[at] != ',' && text[at] != '}' && text[at] != ']') ++at;
    return at;
}

// Whether a string token's content reads as `name` once its escapes are
// decoded, as a JSON reader sees it ("account\u005fkey" included).
bool reads_as(std::string_view content, std::string_view name) {
    std::string decoded;
    for (std::size_t at = 0; at < content.size() && decoded.size() <= name.size();) {
        char c = content[at++];
        if (c == '\\' && at < content.size()) {
            c = content[at++];
            if (c == 'u') {
                if (at + 4 > content.size()) return false;
                unsigned code = 0;
                for (const char digit : content.substr(at, 4)) {
                    const auto lower = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
                    const std::size_t value = std::string_view("0123456789abcdef").find(lower);
                    if (value == std::string_view::npos) return false;
                    code = code * 16 + static_cast<unsigned>(value);
                }
                at += 4;
                if (code >= 0x80) return false;
                c = static_cast<char>(code);
            }
        }
        decoded.push_back(c);
    }
    return decoded == name;
}

// The payload with the value of every "account_key" member hidden, whatever
// its type and also in text that is no valid JSON: a string shows only its
// last characters, any other value nothing of itself.
std::string without_account_keys(std::string_view payload) {
    std::string text;
    text.reserve(payload.size());
    std::size_t at = 0;
    for (std::size_t open = payload.find('"'); open != std::string_view::npos; open = payload.find('"', at)) {
        const string_token name = string_at(payload, open);
        text.append(payload.substr(at, name.end - at));
        at = name.end;
        const std::size_t colon = skip_blanks(payload, name.end);
        if (colon >= payload.size() || payload[colon] != ':' || !reads_as(name.content, "account_key")) continue;
        const std::size_t value = skip_blanks(payload, colon + 1);
        const std::size_t value_stop = value_end(payload, value);
        text.append(payload.substr(at, value - at));
        if (value < payload.size() && payload[value] == '"') {
            const std::string_view key = string_at(payload, value).content;
            text.push_back('"');
            text.append(network::redact_key(key));
            text.append(payload.substr(value + 1 + key.size(), value_stop - (value + 1 + key.size())));
        } else if (value_stop > value) {
            text.append(network::redacted);
        }
        at = value_stop;
    }
    text.append(payload.substr(at));
    return text;
}

// The parser's own text echoes the input it last read; a hello's key or a
// visited address must not reach the log that way. Nesting is bounded as in
// every untrusted text the agent reads.
json parsed(std::string_view payload) {
    try {
        return parse_json_bounded(payload);
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
            result.url = log_entry::kept_extended_info(util::utf8_to_wstring(url->get_ref<const std::string&>()));
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
    return util::escape_control_characters(
        util::utf8_to_wstring_lossy(network::loggable_prefix(without_account_keys(payload))));
}

}  // namespace kes::websocket_protocol
