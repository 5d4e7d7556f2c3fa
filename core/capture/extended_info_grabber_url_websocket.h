#pragma once
// The chain link of browsers that report their page through the agent's
// browser extension (path id "websocket"). The extension connects to a
// WebSocket server the agent runs on this machine and reports each page it
// shows; the link answers the last address reported within the last few
// seconds and, during a focus session, tells the extension to show the
// block page when that address is blocked.
//
// Until the server exists the link knows no address: it answers nothing,
// so the chain goes on to its next link in the same scan.

#include "core/capture/extended_info_grabber.h"

namespace kes {

class common_extended_info_grabber_url_websocket : public extended_info_grabber {
public:
    common_extended_info_grabber_url_websocket(std::wstring suffix, std::wstring bundle_id, std::wstring id);
    ~common_extended_info_grabber_url_websocket() override;

    std::wstring get_extended_info() override;
};

}  // namespace kes
