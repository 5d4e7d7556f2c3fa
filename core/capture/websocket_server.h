#pragma once
// The local WebSocket server through which the agent's browser extension
// reports the page in front and is told to show the block page. One server
// serves the whole process (`instance`); the browser chain's WebSocket links
// start it when they are made and stop it when they go, and it runs while at
// least one link holds a start.
//
// It listens on the first port of its table where listening works, on every
// interface (IPv6 and IPv4 alike, or IPv4 alone where the machine has no
// IPv6), but accepts handshakes only from this machine, never from a web
// page, and only with the extension's token in the query. Its own thread runs
// the event loop and every connection handler, and sleeps until there is
// traffic; `start`, `stop` and `broadcast_to_valid` belong to the scanner
// thread, `current_url` may be read from any thread.
//
// The last address an extension reported, with the time it came, survives
// stops and restarts.

#include "core/foundation/noncopyable.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kes {

class websocket_server : public noncopyable {
public:
    using clock = std::chrono::steady_clock;
    // How long a reported address counts as the page in front.
    static constexpr std::chrono::seconds freshness{15};
    // The extension tries the same ports in the same order.
    static const std::array<std::uint16_t, 32> port_table;

    // The process's server, on `port_table`.
    static websocket_server& instance();

    // Tests give their own ports and clock.
    explicit websocket_server(std::vector<std::uint16_t> ports = {port_table.begin(), port_table.end()},
                              std::function<clock::time_point()> now = clock::now);
    // Ends the thread if a start was never stopped.
    ~websocket_server();

    // Takes one start; true when the server runs after the call. A failed
    // start holds nothing: do not `stop` for it.
    bool start();
    // Gives back one start; the last one stops listening, closes every
    // connection and joins the thread.
    void stop();

    // The last reported address; `fresh` tells whether it came within
    // `freshness`.
    std::wstring current_url(bool& fresh) const;

    // Sends `text` to every connection whose last hello was valid; the
    // sending happens on the server's thread. Nothing while stopped.
    void broadcast_to_valid(std::string text);

    // The port listened on; 0 while stopped.
    std::uint16_t port() const;
    // Connections accepted and not yet gone.
    std::size_t connection_count() const;

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace kes
