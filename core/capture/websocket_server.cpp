#include "core/capture/websocket_server.h"

#include "core/capture/websocket_connections.h"
#include "core/capture/websocket_handshake.h"
#include "core/capture/websocket_log_stream.h"
#include "core/capture/websocket_protocol.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include <mutex>
#include <ostream>
#include <stdexcept>
#include <thread>

namespace kes {
namespace {

using endpoint = websocketpp::server<websocketpp::config::asio>;
using websocketpp::connection_hdl;
namespace ip = boost::asio::ip;

constexpr std::uint32_t trace = log_level::url;
constexpr std::uint32_t failure = log_level::url | log_level::error;
constexpr std::uint32_t port_found = log_level::service | log_level::url;
constexpr std::uint32_t setup_failure = log_level::error | log_level::url | log_level::user4;

const std::string closing_reason = "KESApp Terminating Connection";

std::wstring text_of(const std::string& bytes) { return util::utf8_to_wstring_lossy(bytes); }

// The machine has no IPv6: its wildcard address cannot be listened on at all.
bool means_no_ipv6(const websocketpp::lib::error_code& ec) {
    return ec == boost::asio::error::address_family_not_supported ||
           ec == boost::system::errc::address_not_available;
}

}  // namespace

const std::array<std::uint16_t, 32> websocket_server::port_table = {
    16587, 19968, 16485, 2961,  62743, 22832, 3900,  7394,  58293, 23552, 20085,
    18278, 26078, 61230, 18814, 35556, 33153, 62463, 32969, 38999, 13813, 29096,
    58838, 26223, 18535, 15351, 52270, 30994, 21143, 34095, 7271,  9014};

struct websocket_server::state {
    state(std::vector<std::uint16_t> port_order, std::function<clock::time_point()> clock_now)
        : ports(std::move(port_order)),
          now(std::move(clock_now)),
          current_url_time(now() - std::chrono::hours(1)) {}

    ~state() {
        if (server_thread.joinable()) {
            server.stop();
            server_thread.join();
        }
    }

    bool set_up();
    bool listen_on_port(std::uint16_t port);
    void listen(std::uint16_t port, websocketpp::lib::error_code& ec);
    void run_loop();
    void shut_down();

    bool on_validate(connection_hdl handle);
    void on_open(connection_hdl handle);
    void on_fail(connection_hdl handle);
    void on_close(connection_hdl handle);
    void on_message(connection_hdl handle, endpoint::message_ptr message);
    void on_hello(connection_hdl handle, const websocket_protocol::incoming_message& hello);
    void close_connection(connection_hdl handle);
    bool send_to_connection(connection_hdl handle, const std::string& text);
    void send_to_valid(const std::string& text);

    const std::vector<std::uint16_t> ports;
    const std::function<clock::time_point()> now;

    // Declared before the endpoint, which writes to it until it is gone.
    impl::keslog_stream log_buffer;
    std::ostream log_stream{&log_buffer};
    endpoint server;

    mutable std::mutex server_mutex;
    websocket_connections connections;
    std::wstring current_url;
    clock::time_point current_url_time;

    // The scanner thread's.
    std::thread server_thread;
    std::int32_t start_count = 0;
    bool handlers_installed = false;
    bool ipv6 = true;
    std::uint16_t port = 0;

    // The server thread's while it runs: the last stop has begun, so nothing
    // new may open.
    bool stopping = false;
};

bool websocket_server::state::set_up() {
    server.get_alog().set_ostream(&log_stream);
    server.get_elog().set_ostream(&log_stream);
    websocketpp::lib::error_code ec;
    server.init_asio(ec);
    if (ec) {
        log(L"[websocket_server] Failed to init_asio for websocket server: " + text_of(ec.message()), setup_failure);
        return false;
    }
    server.set_reuse_addr(true);
    // Peers are programs of this machine: a handshake or a close that takes
    // longer comes from a peer that does not answer, and must not hold the
    // agent's quit for the library's default of five seconds.
    server.set_open_handshake_timeout(1000);
    server.set_close_handshake_timeout(1000);
    // Dual-stack whatever the system's default: IPv4 extensions connect too.
    server.set_tcp_pre_bind_handler([this](const std::shared_ptr<ip::tcp::acceptor>& acceptor) {
        boost::system::error_code option_ec;
        if (ipv6) acceptor->set_option(ip::v6_only(false), option_ec);
        return websocketpp::lib::error_code();
    });
    server.set_validate_handler([this](connection_hdl handle) { return on_validate(std::move(handle)); });
    server.set_open_handler([this](connection_hdl handle) { on_open(std::move(handle)); });
    server.set_fail_handler([this](connection_hdl handle) { on_fail(std::move(handle)); });
    server.set_close_handler([this](connection_hdl handle) { on_close(std::move(handle)); });
    server.set_message_handler([this](connection_hdl handle, endpoint::message_ptr message) {
        on_message(std::move(handle), std::move(message));
    });
    handlers_installed = true;
    return true;
}

void websocket_server::state::listen(std::uint16_t port_number, websocketpp::lib::error_code& ec) {
    if (ipv6) {
        server.listen(ip::tcp::v6(), port_number, ec);
        if (!ec || !means_no_ipv6(ec)) return;
        log(L"[websocket_server] No IPv6 on this machine (" + text_of(ec.message()) + L"); listening on IPv4.",
            trace);
        ipv6 = false;
    }
    server.listen(ip::tcp::v4(), port_number, ec);
}

bool websocket_server::state::listen_on_port(std::uint16_t port_number) {
    websocketpp::lib::error_code ec;
    listen(port_number, ec);
    if (ec) {
        log(L"[websocket_server] Failed to start listen on websocket server: " + text_of(ec.message()), failure);
        return false;
    }
    websocketpp::lib::error_code ignored;
    server.start_accept(ec);
    if (ec) {
        log(L"[websocket_server] Failed to accept on websocket server: " + text_of(ec.message()), failure);
        server.stop_listening(ignored);
        return false;
    }
    try {
        stopping = false;
        server_thread = std::thread([this] { run_loop(); });
    } catch (const std::exception& e) {
        log(L"Exception starting websocket server: " + text_of(e.what()), failure);
        server.stop_listening(ignored);
        return false;
    }
    return true;
}

void websocket_server::state::run_loop() {
    // The loop ends by itself once the listener and every connection are gone.
    for (;;) {
        try {
            server.run();
            return;
        } catch (const std::exception& e) {
            log(L"[websocket_server] Caught std::exception in the server loop: " + text_of(e.what()), failure);
        } catch (...) {
            log(L"[websocket_server] Caught unknown exception in the server loop.", failure);
        }
    }
}

void websocket_server::state::shut_down() {
    stopping = true;
    websocketpp::lib::error_code ec;
    server.stop_listening(ec);
    if (ec) log(L"Failed to stop listening on websocket server: " + text_of(ec.message()), failure);
    std::vector<connection_handle> open;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        open = connections.all();
    }
    for (const connection_handle& handle : open) close_connection(handle);
}

void websocket_server::state::close_connection(connection_hdl handle) {
    websocketpp::lib::error_code ec;
    server.close(std::move(handle), websocketpp::close::status::normal, closing_reason, ec);
    if (ec) log(L"Failed to stop listening on websocket server: " + text_of(ec.message()), failure);
}

bool websocket_server::state::on_validate(connection_hdl handle) {
    try {
        if (stopping) return false;
        const endpoint::connection_ptr connection = server.get_con_from_hdl(handle);
        boost::system::error_code ec;
        const ip::tcp::endpoint peer = connection->get_raw_socket().remote_endpoint(ec);
        if (ec) {
            log(L"[websocket server] Refused a connection without a peer address: " + text_of(ec.message()), trace);
            return false;
        }
        if (!websocket_handshake::is_loopback_peer(peer.address())) {
            log(L"[websocket server] Refused a connection from another machine: " +
                    text_of(peer.address().to_string()),
                trace);
            return false;
        }
        const std::string origin = connection->get_request_header("Origin");
        if (websocket_handshake::is_web_page_origin(origin)) {
            log(L"[websocket server] Refused a connection from a web page: " + websocket_protocol::loggable(origin),
                trace);
            return false;
        }
        if (!websocket_handshake::carries_connection_token(connection->get_resource())) return false;
        std::lock_guard<std::mutex> lock(server_mutex);
        connections.add(std::move(handle));
        return true;
    } catch (const std::exception& e) {
        log(L"Caught std::exception while validating a websocket connection: \"" + text_of(e.what()) + L"\"",
            log_level::error);
    }
    return false;
}

void websocket_server::state::on_open(connection_hdl handle) {
    // Accepted just before the last stop began: it closes like the others.
    if (stopping) close_connection(std::move(handle));
}

void websocket_server::state::on_fail(connection_hdl handle) {
    try {
        const endpoint::connection_ptr connection = server.get_con_from_hdl(handle);
        // Neither a handshake this server refused nor the accept a stop
        // cancelled is a failed attempt.
        const websocketpp::lib::error_code ec = connection->get_ec();
        if (ec != websocketpp::error::make_error_code(websocketpp::error::rejected) &&
            ec != websocketpp::error::make_error_code(websocketpp::error::operation_canceled)) {
            log(L"[websocket server] Failed websocket connection attempt: " + text_of(ec.message()), failure);
        }
    } catch (const std::exception& e) {
        log(L"[websocket server] Failed websocket connection attempt: " + text_of(e.what()), failure);
    }
    // A handshake that failed after it was accepted leaves nothing behind.
    std::lock_guard<std::mutex> lock(server_mutex);
    connections.remove(handle);
}

void websocket_server::state::on_close(connection_hdl handle) {
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        found = connections.remove(handle);
    }
    if (!found) log(L"[websocket server] Failed to find connection that is closing!", failure);
}

void websocket_server::state::on_message(connection_hdl handle, endpoint::message_ptr message) {
    try {
        const std::string& payload = message->get_payload();
        if (log_enabled(trace)) log(L"[websocket server] Incoming message: " + websocket_protocol::loggable(payload), trace);
        const websocket_protocol::incoming_message incoming = websocket_protocol::read_message(payload);
        switch (incoming.type) {
            case websocket_protocol::incoming_message::kind::hello:
                on_hello(std::move(handle), incoming);
                break;
            case websocket_protocol::incoming_message::kind::address: {
                const clock::time_point arrived = now();
                std::lock_guard<std::mutex> lock(server_mutex);
                current_url = incoming.url;
                current_url_time = arrived;
                break;
            }
            case websocket_protocol::incoming_message::kind::ignored:
                break;
        }
    } catch (const std::exception& e) {
        log(L"Caught std::exception while handling websocket message: \"" + text_of(e.what()) + L"\"",
            log_level::error);
    } catch (...) {
        log(L"Caught unknown exception while handling websocket message.", log_level::error);
    }
}

void websocket_server::state::on_hello(connection_hdl handle, const websocket_protocol::incoming_message& hello) {
    const bool valid = hello.protocol_version == websocket_protocol::protocol_version &&
                       hello.account_key == config::instance().get_account_key();
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        connections.set_hello(handle, hello.protocol_version, valid);
    }
    send_to_connection(std::move(handle), websocket_protocol::hello_reply(valid));
}

bool websocket_server::state::send_to_connection(connection_hdl handle, const std::string& text) {
    websocketpp::lib::error_code ec;
    server.send(std::move(handle), text, websocketpp::frame::opcode::text, ec);
    if (!ec) return true;
    log(L"[websocket_server] Failed to send to socket: " + text_of(ec.message()), failure);
    return false;
}

void websocket_server::state::send_to_valid(const std::string& text) {
    std::vector<connection_handle> targets;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        targets = connections.valid();
    }
    for (connection_handle& handle : targets) {
        if (!send_to_connection(std::move(handle), text)) return;
    }
}

websocket_server& websocket_server::instance() {
    static websocket_server process_server;
    return process_server;
}

websocket_server::websocket_server(std::vector<std::uint16_t> ports, std::function<clock::time_point()> now)
    : state_(std::make_unique<state>(std::move(ports), std::move(now))) {}

websocket_server::~websocket_server() = default;

bool websocket_server::start() {
    state& s = *state_;
    if (s.start_count > 0) {
        ++s.start_count;
        return true;
    }
    try {
        if (!s.handlers_installed && !s.set_up()) return false;
        s.server.reset();
        for (const std::uint16_t candidate : s.ports) {
            if (!s.listen_on_port(candidate)) continue;
            s.port = candidate;
            s.start_count = 1;
            log(L"[websocket_server] Connected on port: " + std::to_wstring(candidate), port_found);
            return true;
        }
        throw std::runtime_error("[websocket_server] Found no valid port to connect.");
    } catch (const std::exception& e) {
        log(L"Caught std::exception while starting websocket server: \"" + text_of(e.what()) + L"\"",
            log_level::error);
    } catch (...) {
        log(L"Caught unknown exception while starting websocket server.", log_level::error);
    }
    return false;
}

void websocket_server::stop() {
    state& s = *state_;
    if (s.start_count <= 0) return;
    if (--s.start_count > 0) return;
    // Everything the library does happens on the server's thread.
    boost::asio::post(s.server.get_io_service(), [&s] { s.shut_down(); });
    if (s.server_thread.joinable()) s.server_thread.join();
    s.port = 0;
}

std::wstring websocket_server::current_url(bool& fresh) const {
    const state& s = *state_;
    const clock::time_point oldest = s.now() - freshness;
    std::lock_guard<std::mutex> lock(s.server_mutex);
    fresh = s.current_url_time >= oldest;
    return s.current_url;
}

void websocket_server::broadcast_to_valid(std::string text) {
    state& s = *state_;
    if (s.start_count <= 0) return;
    boost::asio::post(s.server.get_io_service(), [&s, text = std::move(text)] { s.send_to_valid(text); });
}

std::uint16_t websocket_server::port() const { return state_->port; }

std::size_t websocket_server::connection_count() const {
    std::lock_guard<std::mutex> lock(state_->server_mutex);
    return state_->connections.size();
}

}  // namespace kes
