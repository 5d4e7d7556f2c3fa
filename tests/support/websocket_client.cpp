#include "tests/support/websocket_client.h"

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include <thread>

namespace kes::testing {
namespace {

using client_type = websocketpp::client<websocketpp::config::asio_client>;

enum class phase { connecting, open, failed, closed };

}  // namespace

struct websocket_client::state {
    client_type client;
    websocketpp::connection_hdl handle;
    std::thread thread;

    mutable std::mutex mutex;
    std::condition_variable changed;
    phase now = phase::connecting;
    int status = 0;
    int close_code = 0;
    std::string close_reason;
    std::deque<std::string> inbox;

    template <class Predicate>
    bool wait(std::chrono::milliseconds limit, Predicate&& done) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, done);
    }

    void ended(websocketpp::connection_hdl hdl, phase how) {
        const client_type::connection_ptr connection = client.get_con_from_hdl(hdl);
        std::lock_guard<std::mutex> lock(mutex);
        now = how;
        status = connection->get_response_code();
        close_code = connection->get_remote_close_code();
        close_reason = connection->get_remote_close_reason();
        changed.notify_all();
    }
};

websocket_client::websocket_client(std::uint16_t port, options how) : state_(std::make_unique<state>()) {
    state& s = *state_;
    s.client.clear_access_channels(websocketpp::log::alevel::all);
    s.client.clear_error_channels(websocketpp::log::elevel::all);
    s.client.init_asio();
    s.client.set_open_handler([&s](websocketpp::connection_hdl hdl) {
        const client_type::connection_ptr connection = s.client.get_con_from_hdl(hdl);
        std::lock_guard<std::mutex> lock(s.mutex);
        s.now = phase::open;
        s.status = connection->get_response_code();
        s.changed.notify_all();
    });
    s.client.set_fail_handler([&s](websocketpp::connection_hdl hdl) { s.ended(hdl, phase::failed); });
    s.client.set_close_handler([&s](websocketpp::connection_hdl hdl) { s.ended(hdl, phase::closed); });
    s.client.set_message_handler([&s](websocketpp::connection_hdl, client_type::message_ptr message) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.inbox.push_back(message->get_payload());
        s.changed.notify_all();
    });

    websocketpp::lib::error_code ec;
    const std::string uri = "ws://" + how.host + ":" + std::to_string(port) + how.resource;
    const client_type::connection_ptr connection = s.client.get_connection(uri, ec);
    if (ec) throw std::runtime_error("bad test address " + uri + ": " + ec.message());
    if (!how.origin.empty()) connection->replace_header("Origin", how.origin);
    s.handle = connection->get_handle();
    s.client.connect(connection);
    s.thread = std::thread([&s] { s.client.run(); });
}

websocket_client::~websocket_client() {
    state& s = *state_;
    boost::asio::post(s.client.get_io_service(), [&s] {
        websocketpp::lib::error_code ignored;
        const client_type::connection_ptr connection = s.client.get_con_from_hdl(s.handle, ignored);
        if (connection && connection->get_state() == websocketpp::session::state::open) {
            connection->close(websocketpp::close::status::going_away, "", ignored);
        }
    });
    // A handshake the server never answers would keep the loop running.
    if (!closed()) s.client.stop();
    s.thread.join();
}

bool websocket_client::opened(std::chrono::milliseconds limit) {
    state& s = *state_;
    s.wait(limit, [&s] { return s.now != phase::connecting; });
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.now == phase::open || (s.now == phase::closed && s.status == 101);
}

int websocket_client::status() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->status;
}

void websocket_client::send(const std::string& text) {
    state& s = *state_;
    boost::asio::post(s.client.get_io_service(), [&s, text] {
        websocketpp::lib::error_code ignored;
        s.client.send(s.handle, text, websocketpp::frame::opcode::text, ignored);
    });
}

std::optional<std::string> websocket_client::next_message(std::chrono::milliseconds limit) {
    state& s = *state_;
    if (!s.wait(limit, [&s] { return !s.inbox.empty(); })) return std::nullopt;
    std::lock_guard<std::mutex> lock(s.mutex);
    std::string message = std::move(s.inbox.front());
    s.inbox.pop_front();
    return message;
}

std::optional<std::string> websocket_client::hello(const std::string& account_key, int protocol_version) {
    send(R"({"message_id":0,"account_key":")" + account_key + R"(","protocol_version":)" +
         std::to_string(protocol_version) + "}");
    return next_message();
}

bool websocket_client::closed(std::chrono::milliseconds limit) {
    state& s = *state_;
    return s.wait(limit, [&s] { return s.now == phase::closed || s.now == phase::failed; });
}

int websocket_client::close_code() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->close_code;
}

std::string websocket_client::close_reason() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->close_reason;
}

}  // namespace kes::testing
