#include "core/capture/websocket_server.h"

#include "core/capture/websocket_connections.h"
#include "core/capture/websocket_handshake.h"
#include "core/capture/keslog_stream.h"
#include "core/capture/websocket_protocol.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/log_rate_limit.h"
#include "core/foundation/text.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include <boost/asio/steady_timer.hpp>

#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

namespace kes {
namespace {

using endpoint = websocketpp::server<websocketpp::config::asio>;
using websocketpp::connection_hdl;
namespace ip = boost::asio::ip;

const std::string closing_reason = "KESApp Terminating Connection";
const std::string no_hello_reason = "No hello in time";

// The heads of the lines a peer can cause, one a message or a connection.
constexpr const wchar_t* accept_failed = L"[websocket_server] Failed to accept a connection";
constexpr const wchar_t* refused_full = L"[websocket server] Refused a connection: as many are held as are taken";
constexpr const wchar_t* gave_up_oldest =
    L"[websocket server] Closed the oldest connection without a valid hello to make room";
constexpr const wchar_t* closed_silent = L"[websocket server] Closed a connection that said no hello in time";
constexpr const wchar_t* closed_not_reading =
    L"[websocket server] Closed a connection that does not take what it is sent";
constexpr const wchar_t* refused_no_peer = L"[websocket server] Refused a connection without a peer address";
constexpr const wchar_t* refused_remote = L"[websocket server] Refused a connection from another machine";
constexpr const wchar_t* refused_page = L"[websocket server] Refused a connection from a web page";
constexpr const wchar_t* validate_failed = L"Caught std::exception while validating a websocket connection";
constexpr const wchar_t* attempt_failed = L"[websocket server] Failed websocket connection attempt";
constexpr const wchar_t* close_unknown = L"[websocket server] Failed to find connection that is closing!";
constexpr const wchar_t* incoming = L"[websocket server] Incoming message";
constexpr const wchar_t* message_failed = L"Caught std::exception while handling websocket message";
constexpr const wchar_t* message_failed_unknown = L"Caught unknown exception while handling websocket message.";
constexpr const wchar_t* send_failed = L"[websocket_server] Failed to send to socket";

std::wstring text_of(const std::string& bytes) { return util::utf8_to_wstring_lossy(bytes); }
// Exception texts of the JSON reader may quote what the peer sent.
std::wstring quoted(const std::string& bytes) {
    return L"\"" + util::escape_control_characters(text_of(bytes)) + L"\"";
}

// The machine lacks this address family, or its loopback address: not a
// busy port, so the other family alone will do.
bool means_no_family(const boost::system::error_code& ec) {
    return ec == boost::asio::error::address_family_not_supported ||
           ec == boost::system::errc::address_not_available;
}

// The bridge's own reason to end a connection: no failed attempt to report.
websocketpp::lib::error_code ended_by_bridge() {
    return websocketpp::error::make_error_code(websocketpp::error::rejected);
}

struct family {
    const wchar_t* name;
    const wchar_t* other_name;
    ip::address loopback;
};

// Only the loopback addresses: the extension runs on this machine.
const family families[] = {
    {L"IPv4", L"IPv6", ip::address_v4::loopback()},
    {L"IPv6", L"IPv4", ip::address_v6::loopback()},
};

// One loopback address listened on, and the pause before it accepts again
// after a failed accept.
struct listener {
    explicit listener(boost::asio::io_service& service) : acceptor(service), retry(service) {}
    ip::tcp::acceptor acceptor;
    boost::asio::steady_timer retry;
};

}  // namespace

const std::array<std::uint16_t, 32> websocket_server::port_table = {
    16587, 19968, 16485, 2961,  62743, 22832, 3900,  7394,  58293, 23552, 20085,
    18278, 26078, 61230, 18814, 35556, 33153, 62463, 32969, 38999, 13813, 29096,
    58838, 26223, 18535, 15351, 52270, 30994, 21143, 34095, 7271,  9014};

struct websocket_server::state {
    state(std::vector<std::uint16_t> port_order, std::function<clock::time_point()> clock_now, limits bounds)
        : ports(std::move(port_order)),
          now(std::move(clock_now)),
          bounds(bounds),
          current_url_time(now() - std::chrono::hours(1)) {}

    ~state() {
        if (server_thread.joinable()) {
            server.stop();
            server_thread.join();
        }
    }

    bool set_up();
    bool listen_on_port(std::uint16_t port);
    bool open_listener(const family& kind, std::uint16_t port, boost::system::error_code& ec);
    void run_loop();
    void shut_down();

    bool accept_next(listener& from);
    void accept_later(listener& from);
    void on_accept(listener& from, const endpoint::connection_ptr& connection, const boost::system::error_code& ec);
    void arm_hello_deadline();
    void end_silent_connections();
    void terminate_connection(connection_hdl handle);

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
    const limits bounds;

    // Declared before the endpoint, which writes to it until it is gone.
    impl::keslog_stream log_buffer;
    std::ostream log_stream{&log_buffer};
    endpoint server;
    // On the endpoint's event loop, so declared after it.
    std::vector<std::unique_ptr<listener>> listeners;
    std::optional<boost::asio::steady_timer> hello_deadline;
    bool hello_deadline_armed = false;

    // Lines peers cause, of the server's thread but for the last stop's.
    log_rate_limit peer_lines;

    mutable std::mutex server_mutex;
    websocket_connections connections;
    std::wstring current_url;
    clock::time_point current_url_time;

    // The scanner thread's.
    std::thread server_thread;
    std::int32_t start_count = 0;
    bool handlers_installed = false;
    bool has_family[2] = {true, true};
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
        log(L"[websocket_server] Failed to init_asio for websocket server: " + text_of(ec.message()),
            log_level::bridge_setup_failure);
        return false;
    }
    // Peers are programs of this machine: a handshake or a close that takes
    // longer comes from a peer that does not answer, and must not hold the
    // agent's quit for the library's default of five seconds.
    server.set_open_handshake_timeout(1000);
    server.set_close_handshake_timeout(1000);
    server.set_max_message_size(bounds.message_bytes);
    hello_deadline.emplace(server.get_io_service());
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

// Listens on `kind`'s loopback address and `port`; `ec` tells why not.
bool websocket_server::state::open_listener(const family& kind, std::uint16_t port_number,
                                            boost::system::error_code& ec) {
    auto added = std::make_unique<listener>(server.get_io_service());
    ip::tcp::acceptor& acceptor = added->acceptor;
    const ip::tcp::endpoint address(kind.loopback, port_number);
    acceptor.open(address.protocol(), ec);
    if (!ec) acceptor.set_option(ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec && kind.loopback.is_v6()) acceptor.set_option(ip::v6_only(true), ec);
    if (!ec) acceptor.bind(address, ec);
    if (!ec) acceptor.listen(ip::tcp::acceptor::max_listen_connections, ec);
    if (ec) return false;
    listeners.push_back(std::move(added));
    return true;
}

bool websocket_server::state::listen_on_port(std::uint16_t port_number) {
    listeners.clear();
    boost::system::error_code ec;
    for (std::size_t i = 0; i < std::size(families) && !ec; ++i) {
        if (!has_family[i]) continue;
        if (open_listener(families[i], port_number, ec) || !means_no_family(ec)) continue;
        if (!has_family[1 - i]) break;  // neither: the error stands
        log(L"[websocket_server] No " + std::wstring(families[i].name) + L" on this machine (" +
                text_of(ec.message()) + L"); listening on " + families[i].other_name + L".",
            log_level::url);
        has_family[i] = false;
        ec.clear();
    }
    if (ec || listeners.empty()) {
        if (!ec) ec = boost::asio::error::address_family_not_supported;
        log(L"[websocket_server] Failed to start listen on websocket server: " + text_of(ec.message()),
            log_level::url_error);
        listeners.clear();
        return false;
    }
    try {
        stopping = false;
        for (const auto& each : listeners) {
            if (accept_next(*each)) continue;
            log(L"[websocket_server] Failed to accept on websocket server: " +
                    text_of(websocketpp::error::make_error_code(websocketpp::error::con_creation_failed).message()),
                log_level::url_error);
            listeners.clear();
            server.reset();
            return false;
        }
        server_thread = std::thread([this] { run_loop(); });
    } catch (const std::exception& e) {
        log(L"Exception starting websocket server: " + text_of(e.what()), log_level::url_error);
        listeners.clear();
        server.reset();
        return false;
    }
    return true;
}

void websocket_server::state::run_loop() {
    // The loop ends by itself once the listeners and every connection are gone.
    for (;;) {
        try {
            server.run();
            return;
        } catch (const std::exception& e) {
            log(L"[websocket_server] Caught std::exception in the server loop: " + text_of(e.what()),
                log_level::url_error);
        } catch (...) {
            log(L"[websocket_server] Caught unknown exception in the server loop.", log_level::url_error);
        }
    }
}

// The listener hands over one connection at a time, into a connection of
// the library made beforehand, as the library's own accepting does. False
// when no connection could be made; a pause later it tries again.
bool websocket_server::state::accept_next(listener& from) {
    if (stopping || !from.acceptor.is_open()) return true;
    const endpoint::connection_ptr connection = server.get_connection();
    if (!connection) {
        peer_lines.log(accept_failed,
                       text_of(websocketpp::error::make_error_code(websocketpp::error::con_creation_failed).message()),
                       log_level::url_error);
        accept_later(from);
        return false;
    }
    from.acceptor.async_accept(connection->get_raw_socket(),
                               [this, &from, connection](const boost::system::error_code& ec) {
                                   on_accept(from, connection, ec);
                               });
    return true;
}

// Out of descriptors the listener stays readable: trying again at once would
// only spin.
void websocket_server::state::accept_later(listener& from) {
    from.retry.expires_after(bounds.accept_retry_pause);
    from.retry.async_wait([this, &from](const boost::system::error_code& ec) {
        if (!ec) accept_next(from);
    });
}

void websocket_server::state::on_accept(listener& from, const endpoint::connection_ptr& connection,
                                        const boost::system::error_code& ec) {
    if (ec || stopping) {
        // Never started: ended as the library ends its own.
        connection->terminate(ended_by_bridge());
        if (ec == boost::asio::error::operation_aborted || stopping) return;
        peer_lines.log(accept_failed, text_of(ec.message()), log_level::url_error);
        accept_later(from);
        return;
    }
    websocket_connections::room room;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        room = connections.make_room(bounds.connections);
        if (!room.refuse) connections.add_accepted(connection->get_handle(), clock::now());
    }
    if (room.refuse) {
        peer_lines.log(refused_full, log_level::url);
        connection->terminate(ended_by_bridge());
    } else {
        if (room.give_up) {
            peer_lines.log(gave_up_oldest, log_level::url);
            terminate_connection(*room.give_up);
        }
        connection->start();
        arm_hello_deadline();
    }
    accept_next(from);
}

// One timer, set for the oldest connection still owing its hello; it does not
// run while every connection has said one.
void websocket_server::state::arm_hello_deadline() {
    if (hello_deadline_armed || stopping) return;
    std::optional<clock::time_point> oldest;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        oldest = connections.oldest_without_hello();
    }
    if (!oldest) return;
    hello_deadline_armed = true;
    hello_deadline->expires_at(*oldest + bounds.hello_deadline);
    hello_deadline->async_wait([this](const boost::system::error_code& ec) {
        hello_deadline_armed = false;
        if (ec || stopping) return;
        end_silent_connections();
        arm_hello_deadline();
    });
}

void websocket_server::state::end_silent_connections() {
    std::vector<connection_handle> silent;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        silent = connections.without_hello_since(clock::now() - bounds.hello_deadline);
        for (const connection_handle& handle : silent) connections.mark_ending(handle);
    }
    for (const connection_handle& handle : silent) {
        peer_lines.log(closed_silent, log_level::url);
        websocketpp::lib::error_code ec;
        const endpoint::connection_ptr connection = server.get_con_from_hdl(handle, ec);
        if (ec) continue;
        // Still in its handshake, or its closing handshake failed: at once.
        if (connection->get_state() == websocketpp::session::state::open) {
            connection->close(websocketpp::close::status::policy_violation, no_hello_reason, ec);
            if (!ec) continue;
        }
        terminate_connection(handle);
    }
}

// Ends a connection at once, whatever its stage, without a closing handshake.
void websocket_server::state::terminate_connection(connection_hdl handle) {
    websocketpp::lib::error_code ec;
    const endpoint::connection_ptr connection = server.get_con_from_hdl(std::move(handle), ec);
    if (!ec && connection->get_state() != websocketpp::session::state::closed) {
        connection->terminate(ended_by_bridge());
    }
}

void websocket_server::state::shut_down() {
    stopping = true;
    boost::system::error_code ec;
    for (const auto& each : listeners) {
        each->retry.cancel();
        each->acceptor.close(ec);
        if (ec) log(L"Failed to stop listening on websocket server: " + text_of(ec.message()), log_level::url_error);
    }
    hello_deadline->cancel();
    std::vector<connection_handle> open;
    std::vector<connection_handle> opening;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        open = connections.open();
        opening = connections.opening();
    }
    for (const connection_handle& handle : open) close_connection(handle);
    for (connection_handle& handle : opening) terminate_connection(std::move(handle));
    peer_lines.flush();
}

void websocket_server::state::close_connection(connection_hdl handle) {
    websocketpp::lib::error_code ec;
    server.close(std::move(handle), websocketpp::close::status::normal, closing_reason, ec);
    if (ec) log(L"Failed to stop listening on websocket server: " + text_of(ec.message()), log_level::url_error);
}

bool websocket_server::state::on_validate(connection_hdl handle) {
    try {
        if (stopping) return false;
        const endpoint::connection_ptr connection = server.get_con_from_hdl(handle);
        boost::system::error_code ec;
        const ip::tcp::endpoint peer = connection->get_raw_socket().remote_endpoint(ec);
        if (ec) {
            peer_lines.log(refused_no_peer, text_of(ec.message()), log_level::url);
            return false;
        }
        if (!websocket_handshake::is_loopback_peer(peer.address())) {
            peer_lines.log(refused_remote, text_of(peer.address().to_string()), log_level::url);
            return false;
        }
        const std::string origin = connection->get_request_header("Origin");
        if (!websocket_handshake::is_accepted_origin(origin)) {
            if (peer_lines.admits(refused_page, log_level::url)) {
                log(std::wstring(refused_page) + L": " + websocket_protocol::loggable(origin), log_level::url);
            }
            return false;
        }
        if (!websocket_handshake::carries_connection_token(connection->get_resource())) return false;
        std::lock_guard<std::mutex> lock(server_mutex);
        return connections.mark_open(handle);
    } catch (const std::exception& e) {
        peer_lines.log(validate_failed, quoted(e.what()), log_level::error);
    }
    return false;
}

void websocket_server::state::on_open(connection_hdl handle) {
    // Accepted just before the last stop began: it closes like the others.
    if (stopping) close_connection(std::move(handle));
}

void websocket_server::state::on_fail(connection_hdl handle) {
    bool reported = false;
    {
        // A handshake that failed after it was accepted leaves nothing
        // behind; one the bridge ended itself, or never took, is no failed
        // attempt.
        std::lock_guard<std::mutex> lock(server_mutex);
        reported = connections.is_held_and_not_ending(handle);
        connections.remove(handle);
    }
    if (!reported) return;
    try {
        const endpoint::connection_ptr connection = server.get_con_from_hdl(handle);
        // Neither a handshake this server refused nor the accept a stop
        // cancelled is a failed attempt.
        const websocketpp::lib::error_code ec = connection->get_ec();
        if (ec != websocketpp::error::make_error_code(websocketpp::error::rejected) &&
            ec != websocketpp::error::make_error_code(websocketpp::error::operation_canceled)) {
            peer_lines.log(attempt_failed, text_of(ec.message()), log_level::url_error);
        }
    } catch (const std::exception& e) {
        peer_lines.log(attempt_failed, text_of(e.what()), log_level::url_error);
    }
}

void websocket_server::state::on_close(connection_hdl handle) {
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(server_mutex);
        found = connections.remove(handle);
    }
    if (!found) peer_lines.log(close_unknown, log_level::url_error);
}

void websocket_server::state::on_message(connection_hdl handle, endpoint::message_ptr message) {
    try {
        const std::string& payload = message->get_payload();
        if (peer_lines.admits(incoming, log_level::url)) {
            log(std::wstring(incoming) + L": " + websocket_protocol::loggable(payload), log_level::url);
        }
        const websocket_protocol::incoming_message received = websocket_protocol::read_message(payload);
        switch (received.type) {
            case websocket_protocol::incoming_message::kind::hello:
                on_hello(std::move(handle), received);
                break;
            case websocket_protocol::incoming_message::kind::address: {
                const clock::time_point arrived = now();
                std::lock_guard<std::mutex> lock(server_mutex);
                current_url = received.url;
                current_url_time = arrived;
                break;
            }
            case websocket_protocol::incoming_message::kind::ignored:
                break;
        }
    } catch (const std::exception& e) {
        peer_lines.log(message_failed, quoted(e.what()), log_level::error);
    } catch (...) {
        peer_lines.log(message_failed_unknown, log_level::error);
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

// False when the send failed; a peer that leaves too much unsent is ended
// instead, which is no failed send.
bool websocket_server::state::send_to_connection(connection_hdl handle, const std::string& text) {
    websocketpp::lib::error_code ec;
    const endpoint::connection_ptr connection = server.get_con_from_hdl(handle, ec);
    if (!ec && connection->get_buffered_amount() + text.size() > bounds.unsent_bytes) {
        {
            std::lock_guard<std::mutex> lock(server_mutex);
            connections.mark_ending(handle);
        }
        peer_lines.log(closed_not_reading, log_level::url);
        connection->terminate(ended_by_bridge());
        return true;
    }
    if (!ec) ec = connection->send(text, websocketpp::frame::opcode::text);
    if (!ec) return true;
    peer_lines.log(send_failed, text_of(ec.message()), log_level::url_error);
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

websocket_server::websocket_server(std::vector<std::uint16_t> ports, std::function<clock::time_point()> now,
                                   limits bounds)
    : state_(std::make_unique<state>(std::move(ports), std::move(now), bounds)) {}

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
            log(L"[websocket_server] Connected on port: " + std::to_wstring(candidate), log_level::url_service);
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
    s.listeners.clear();
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

std::size_t websocket_server::held_connection_count() const {
    std::lock_guard<std::mutex> lock(state_->server_mutex);
    return state_->connections.held();
}

}  // namespace kes
