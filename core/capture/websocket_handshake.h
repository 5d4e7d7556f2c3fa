#pragma once
// Which opening handshakes the browser bridge accepts. The bridge serves the
// agent's own browser extension on this machine; nothing else may talk to it:
// peers off this machine are refused, and so is every script a browser runs
// that is not the extension (web pages, local files, frames of any scheme),
// since a browser lets them open WebSockets to any port of its machine.

#include <boost/asio/ip/address.hpp>

#include <string_view>

namespace kes::websocket_handshake {

// A loopback address: 127.0.0.0/8, ::1, or 127.0.0.0/8 mapped into IPv6 (how
// a dual-stack listener sees IPv4 peers).
bool is_loopback_peer(const boost::asio::ip::address& peer);

// The `Origin` of a handshake the bridge takes: none (empty), as programs
// other than browsers send, or the extension's own, "moz-extension://" and
// its host (any case of the scheme). Every other origin a browser may send
// ("http", "https", "file", "null", "blob:", ...) is a script that is not
// the extension.
bool is_accepted_origin(std::string_view origin);

// The resource asked for ("/path?query") carries the connection token of the
// extension in its query.
bool carries_connection_token(std::string_view resource);

}  // namespace kes::websocket_handshake
