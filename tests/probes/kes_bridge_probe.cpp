// Holds WebSocket links of the browser chain on the process's bridge, as the
// scanner does, for the end-to-end scripts that talk to the bridge with real
// clients. One command a line on standard input, one JSON line in answer:
//
//   link      makes one more link (the first starts the bridge)
//   unlink    destroys the newest link (the last stops the bridge)
//   ask       the newest link's answer to the scanner
//   quit      destroys every link and ends
//
// Every answer carries "port" (0 while the bridge is stopped) and "links".
// Settings come from kestreld.json in the data folder, as the agent's do.
#include "core/capture/common_extended_info_grabber_url_websocket.h"
#include "core/capture/websocket_server.h"
#include "core/foundation/config.h"
#include "core/foundation/text.h"
#include "tests/support_desktop/probe_support.h"

#include <memory>
#include <vector>

int main() {
    kes::config::instance();  // loads the settings first
    std::vector<std::unique_ptr<kes::common_extended_info_grabber_url_websocket>> links;
    kes::testing::serve_commands([&](const std::string& command, const std::string&) {
        nlohmann::json answer = nlohmann::json::object();
        if (command == "link") {
            links.push_back(std::make_unique<kes::common_extended_info_grabber_url_websocket>(
                L"", L"org.mozilla.firefox", L"websocket"));
        } else if (command == "unlink" && !links.empty()) {
            links.pop_back();
        } else if (command == "ask" && !links.empty()) {
            answer["answer"] = kes::util::wstring_to_utf8_lossy(links.back()->get_extended_info());
        } else {
            answer["error"] = "unknown command or no link: " + command;
        }
        answer["port"] = kes::websocket_server::instance().port();
        answer["links"] = links.size();
        return answer;
    });
    links.clear();
    return 0;
}
