#include "core/capture/websocket_handshake.h"

#include "core/foundation/text.h"

#include <algorithm>

namespace kes::websocket_handshake {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

bool is_loopback_peer(const boost::asio::ip::address& peer) {
    if (peer.is_v4()) return peer.to_v4().is_loopback();
    const boost::asio::ip::address_v6 v6 = peer.to_v6();
    if (v6.is_v4_mapped()) {
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, v6).is_loopback();
    }
    return v6.is_loopback();
}

bool is_web_page_origin(std::string_view origin) {
    origin = trimmed(origin);
    if (origin.empty()) return false;
    const std::size_t separator = origin.find("://");
    // Without a scheme the origin is opaque ("null"): a page without an
    // origin of its own, never an extension.
    if (separator == std::string_view::npos) return true;
    const std::string_view scheme = origin.substr(0, separator);
    return util::equals_ignoring_ascii_case(scheme, "http") || util::equals_ignoring_ascii_case(scheme, "https");
}

bool carries_connection_token(std::string_view resource) {
    const std::size_t question = resource.find('?');
    if (question == std::string_view::npos) return false;
    return resource.substr(question + 1).find("pavox") != std::string_view::npos;
}

}  // namespace kes::websocket_handshake
