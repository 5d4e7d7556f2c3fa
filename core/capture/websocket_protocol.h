#pragma once
// The messages the agent and its browser extension exchange: JSON objects
// keyed by "message_id", sent as text frames in UTF-8. The agent writes its
// JSON compactly with the members in the order of their names.
//
//   0 extension -> agent  hello: "account_key", "protocol_version"
//   1 agent -> extension  answer to a hello: "protocol_version" (1), "valid"
//   2 extension -> agent  the page now in front: "url"
//   3 agent -> extension  show "block_url" instead of "url";
//                         "stillzone_duration": seconds of focus time left

#include <cstdint>
#include <string>
#include <string_view>

namespace kes::websocket_protocol {

inline constexpr std::int32_t protocol_version = 1;

struct incoming_message {
    enum class kind { ignored, hello, address };
    kind type = kind::ignored;
    std::wstring account_key;           // hello
    std::int32_t protocol_version = 0;  // hello
    std::wstring url;                   // address
};

// Reads one message. Throws std::exception for text that is no JSON, nests
// too deeply, or is a hello whose members are missing or of the wrong type.
// An address longer than a record keeps is cut as the record cuts it. Anything else
// that is not a hello or an address (another or no "message_id", an address
// without a text "url") is `ignored`.
incoming_message read_message(std::string_view payload);

std::string hello_reply(bool valid);
std::string block_message(const std::wstring& url, const std::wstring& block_url, std::int64_t seconds_left);

// A payload as one line of the debug log: at most its first 2048 bytes,
// decoded as UTF-8 (bad bytes replaced) with its control characters escaped
// (util::escape_control_characters), and the value of every "account_key" member hidden: a text shows
// only its last 4 characters, a value of any other type nothing.
std::wstring loggable(std::string_view payload);

}  // namespace kes::websocket_protocol
