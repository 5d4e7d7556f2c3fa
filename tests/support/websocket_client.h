#pragma once
// A WebSocket client for the bridge tests: the WebSocket library's own
// client, on a thread of its own, connecting to a port of this machine. It
// keeps every text it receives and how its connection ended. Waits end with
// the outcome or after a limit that only a fault reaches.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace kes::testing {

class websocket_client {
public:
    struct options {
        std::string host = "127.0.0.1";  // "[::1]" for IPv6
        std::string resource = "/?pavox";
        std::string origin;              // none when empty
    };

    websocket_client(std::uint16_t port, options how);
    explicit websocket_client(std::uint16_t port) : websocket_client(port, options()) {}
    ~websocket_client();
    websocket_client(const websocket_client&) = delete;
    websocket_client& operator=(const websocket_client&) = delete;

    // True once the handshake succeeded; false when it was refused or failed.
    bool opened(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // The server's HTTP answer to the handshake (101 when it opened).
    int status() const;

    void send(const std::string& text);
    // The next text received; nothing when none came within the limit.
    std::optional<std::string> next_message(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Sends hello and returns its answer.
    std::optional<std::string> hello(const std::string& account_key, int protocol_version = 1);

    // True once the connection has ended, by either side.
    bool closed(std::chrono::milliseconds limit = std::chrono::seconds(10));
    int close_code() const;
    std::string close_reason() const;

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace kes::testing
