#pragma once
// The local WebSocket server through which the agent's browser extension
// reports the page in front and is told to show the block page. One server
// serves the whole process (`instance`); the browser chain's WebSocket links
// start it when they are made and stop it when they go, and it runs while at
// least one link holds a start.
//
// It listens on the first port of its table where listening works, on this
// machine's loopback addresses only (127.0.0.1 and ::1, each where the
// machine has it), and accepts handshakes only from this machine, only from
// the extension or a program without an Origin, and only with the
// extension's token in the query. What any peer can cost it is bounded (see
// `limits`): so many connections, a hello within a few seconds, so much unsent
// per connection, so large a message, and so many log lines a minute. Its own
// thread runs the event loop and every connection handler, and sleeps until
// there is traffic; `start`, `stop` and `broadcast_to_valid` belong to the
// scanner thread, `current_url` may be read from any thread.
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

// What one peer, or many, may cost the agent. Browser profiles each hold
// one connection, say hello at once and read what they are sent; their
// messages are a few hundred bytes.
struct websocket_server_limits {
    // Connections held, whatever their stage. Past it the oldest one
    // without a valid hello is closed for the newcomer, or, when every
    // one has a valid hello, the newcomer is.
    std::size_t connections = 32;
    // A connection that has said no hello by then is closed.
    std::chrono::milliseconds hello_deadline{5000};
    // Sent and not yet taken by the peer; past it the connection is closed.
    // A queued reply costs several times its own bytes, so even every
    // connection held by a peer that reads nothing stays within tens of MiB.
    std::size_t unsent_bytes = 256 * 1024;
    // A larger message closes its connection (status 1009).
    std::size_t message_bytes = 64 * 1024;
    // After the listener could not accept (no descriptor left, say).
    std::chrono::milliseconds accept_retry_pause{250};
};

class websocket_server : public noncopyable {
public:
    using clock = std::chrono::steady_clock;
    // How long a reported address counts as the page in front.
    static constexpr std::chrono::seconds freshness{15};
    // The extension tries the same ports in the same order.
    static const std::array<std::uint16_t, 32> port_table;

    using limits = websocket_server_limits;

    // The process's server, on `port_table`.
    static websocket_server& instance();

    // Tests give their own ports, clock and limits.
    explicit websocket_server(std::vector<std::uint16_t> ports = {port_table.begin(), port_table.end()},
                              std::function<clock::time_point()> now = clock::now, limits bounds = limits());
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
    // Connections whose handshake was accepted and that are not yet gone.
    std::size_t connection_count() const;
    // Every connection held, from the listener on.
    std::size_t held_connection_count() const;

private:
    struct state;
    std::unique_ptr<state> state_;
};

}  // namespace kes
