#pragma once
// Which opening handshakes the browser bridge accepts. The bridge serves the
// agent's own browser extension on this machine; nothing else may talk to it:
// peers off this machine are refused, and so are web pages, which a browser
// lets open WebSockets to any port of the machine it runs on.

#include <boost/asio/ip/address.hpp>

#include <string_view>

namespace kes::websocket_handshake {

// A loopback address: 127.0.0.0/8, ::1, or 127.0.0.0/8 mapped into IPv6 (how
// a dual-stack listener sees IPv4 peers).
bool is_loopback_peer(const boost::asio::ip::address& peer);

// An `Origin` a browser gives a web page's script: "http" and "https"
// origins, and the opaque "null" of sandboxed and local pages. Extensions
// have origins of their own schemes, and programs other than browsers send
// none (empty).
bool is_web_page_origin(std::string_view origin);

// The resource asked for ("/path?query") carries the connection token of the
// extension in its query.
bool carries_connection_token(std::string_view resource);

}  // namespace kes::websocket_handshake
