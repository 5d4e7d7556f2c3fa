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

bool is_accepted_origin(std::string_view origin) {
    origin = trimmed(origin);
    if (origin.empty()) return true;
    static constexpr std::string_view extension_scheme = "moz-extension://";
    if (origin.size() <= extension_scheme.size() ||
        !util::equals_ignoring_ascii_case(origin.substr(0, extension_scheme.size()), extension_scheme)) {
        return false;
    }
    // An origin is a scheme and a host, nothing more: a host of letters,
    // digits, dots and dashes, as the extension's generated one is.
    const std::string_view host = origin.substr(extension_scheme.size());
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
}

bool carries_connection_token(std::string_view resource) {
    const std::size_t question = resource.find('?');
    if (question == std::string_view::npos) return false;
    return resource.substr(question + 1).find("pavox") != std::string_view::npos;
}

}  // namespace kes::websocket_handshake
