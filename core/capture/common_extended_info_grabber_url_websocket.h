#pragma once
// The chain link of browsers that report their page through the agent's
// browser extension (path id "websocket"). The extension connects to the
// agent's local WebSocket server and reports each page it shows; the link
// answers the last address reported within the last 15 seconds and, during
// a focus session, tells the extension to show the block page when that
// address is blocked. An older address, or none, is no answer: the chain goes
// on to its next link in the same scan.
//
// Each link holds one start of the server for its lifetime, so the server
// runs while any browser's chain has such a link.

#include "core/capture/extended_info_grabber.h"

namespace kes {

class websocket_server;

class common_extended_info_grabber_url_websocket : public extended_info_grabber {
public:
    common_extended_info_grabber_url_websocket(std::wstring suffix, std::wstring bundle_id, std::wstring id);
    // Over `server` instead of the process's own.
    common_extended_info_grabber_url_websocket(std::wstring suffix, std::wstring bundle_id, std::wstring id,
                                               websocket_server& server);
    ~common_extended_info_grabber_url_websocket() override;

    std::wstring get_extended_info() override;

private:
    websocket_server& server_;
    bool started_;
};

}  // namespace kes
