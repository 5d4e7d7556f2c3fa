#include "core/capture/common_extended_info_grabber_url_websocket.h"

#include "core/capture/websocket_protocol.h"
#include "core/capture/websocket_server.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

namespace kes {

common_extended_info_grabber_url_websocket::common_extended_info_grabber_url_websocket(std::wstring suffix,
                                                                                       std::wstring bundle_id,
                                                                                       std::wstring id)
    : common_extended_info_grabber_url_websocket(std::move(suffix), std::move(bundle_id), std::move(id),
                                                 websocket_server::instance()) {}

common_extended_info_grabber_url_websocket::common_extended_info_grabber_url_websocket(std::wstring suffix,
                                                                                       std::wstring bundle_id,
                                                                                       std::wstring id,
                                                                                       websocket_server& server)
    : extended_info_grabber(std::move(suffix), std::move(bundle_id), std::move(id)),
      server_(server),
      started_(server_.start()) {}

common_extended_info_grabber_url_websocket::~common_extended_info_grabber_url_websocket() {
    if (started_) server_.stop();
}

std::wstring common_extended_info_grabber_url_websocket::get_extended_info() {
    bool fresh = false;
    std::wstring address = server_.current_url(fresh);
    if (!fresh) return {};

    std::wstring redirect;
    if (is_url_blocked(address, redirect)) {
        // Whole seconds; zero or less while blocking runs with no end ahead.
        const auto left = config_->get_blocking_until() - config_->local_now();
        const std::int64_t seconds = left.is_special() ? 0 : static_cast<std::int64_t>(left.total_seconds());
        std::string text = websocket_protocol::block_message(address, redirect, seconds);
        const bool traced = log_enabled(log_level::url);
        const std::wstring line =
            traced ? L"[websocket server] sending (next line):\n\"" + util::utf8_to_wstring_lossy(text) + L"\""
                   : std::wstring();
        server_.broadcast_to_valid(std::move(text));
        if (traced) log(line, log_level::url);
    }
    return address;
}

}  // namespace kes
