// The browser bridge on real sockets, with the WebSocket library's own client
// as the extension: ports and their fall-back, who may connect, hellos,
// addresses and their freshness, block messages for valid connections only,
// and stops that close everything.
#include "tests/capture/websocket_server_fixture.h"
#include "core/foundation/log_rate_limit.h"
#include "tests/ui/debug_log_lines.h"

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

namespace kes {
namespace {

using testing::log_line;
using testing::websocket_client;
using WebSocketBridge = testing::WebSocketServerTest;

const std::string valid_reply = R"({"message_id":1,"protocol_version":1,"valid":true})";
const std::string invalid_reply = R"({"message_id":1,"protocol_version":1,"valid":false})";

// The opening handshake of a peer written by hand.
const std::string upgrade_request = "GET /?pavox HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                    "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                    "Sec-WebSocket-Version: 13\r\n\r\n";

sockaddr_in loopback_address(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool has_line(const std::vector<log_line>& lines, const log_line& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

std::unique_ptr<websocket_client> client_with(std::uint16_t port, std::string resource, std::string origin = "",
                                              std::string host = "127.0.0.1") {
    websocket_client::options how;
    how.resource = std::move(resource);
    how.origin = std::move(origin);
    how.host = std::move(host);
    return std::make_unique<websocket_client>(port, how);
}

// A peer of the test's own making: it says the opening handshake, then sends
// text frames and never reads, with the smallest receive buffer there is.
class raw_websocket {
public:
    explicit raw_websocket(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int smallest = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
        const timeval limit{10, 0};  // a server that stops reading fails the test, not hangs it
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address = loopback_address(port);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_TRUE(send_all(upgrade_request));
        std::string answer;
        char c = 0;
        while (answer.find("\r\n\r\n") == std::string::npos && ::recv(fd_, &c, 1, 0) == 1) answer.push_back(c);
        EXPECT_EQ(answer.rfind("HTTP/1.1 101", 0), 0u) << answer;
    }
    ~raw_websocket() { ::close(fd_); }
    raw_websocket(const raw_websocket&) = delete;
    raw_websocket& operator=(const raw_websocket&) = delete;

    // One masked text frame (a zero mask leaves the payload as it is); false
    // once the server has ended the connection.
    bool send_text(const std::string& text) {
        std::string frame(1, '\x81');
        if (text.size() < 126) {
            frame.push_back(static_cast<char>(0x80 | text.size()));
        } else {
            frame += {'\xFE', static_cast<char>(text.size() >> 8), static_cast<char>(text.size() & 0xFF)};
        }
        frame.append(4, '\0');
        return send_all(frame + text);
    }

private:
    bool send_all(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    int fd_;
};

TEST_F(WebSocketBridge, ListensOnTheFirstPortOfItsTableWhereListeningWorks) {
    testing::loopback_listener first;
    testing::loopback_listener second;
    const std::uint16_t third = free_port();
    auto server = server_on({static_cast<std::uint16_t>(first.port()), static_cast<std::uint16_t>(second.port()),
                             third, free_port()});
    const std::size_t before = testing::log_size();
    ASSERT_TRUE(server->start());
    EXPECT_EQ(server->port(), third);
    const auto lines = testing::log_lines_since(before);
    const log_line busy{257, L"[websocket_server] Failed to start listen on websocket server: Address already in use"};
    EXPECT_EQ(std::count(lines.begin(), lines.end(), busy), 2);
    EXPECT_TRUE(has_line(lines, {384, L"[websocket_server] Connected on port: " + std::to_wstring(third)}));

    // One listener for both families.
    for (const char* host : {"127.0.0.1", "[::1]"}) {
        auto client = client_with(third, "/?pavox", "", host);
        EXPECT_TRUE(client->opened()) << host;
        EXPECT_EQ(client->hello(testing::test_account_key), valid_reply) << host;
    }
    server->stop();
    EXPECT_EQ(server->port(), 0);
}

TEST_F(WebSocketBridge, WithEveryPortTakenTheStartFailsHoldsNothingAndALaterStartTriesAgain) {
    auto taken = std::make_unique<testing::loopback_listener>();
    const auto port = static_cast<std::uint16_t>(taken->port());
    auto server = server_on({port});
    const std::size_t before = testing::log_size();
    EXPECT_FALSE(server->start());
    EXPECT_EQ(server->port(), 0);
    EXPECT_TRUE(has_line(testing::log_lines_since(before),
                         {1, L"Caught std::exception while starting websocket server: \"[websocket_server] Found no "
                             L"valid port to connect.\""}));
    server->stop();  // holds nothing: changes nothing

    taken.reset();
    ASSERT_TRUE(server->start());
    EXPECT_EQ(server->port(), port);
    auto client = std::make_unique<websocket_client>(port);
    EXPECT_TRUE(client->opened());
    server->stop();
}

TEST_F(WebSocketBridge, StartsAreCountedAndTheLastStopClosesEveryConnectionAndThePort) {
    auto server = started_server();
    const std::uint16_t port = server->port();
    ASSERT_TRUE(server->start());
    auto client = valid_client(port);

    server->stop();
    EXPECT_EQ(server->port(), port) << "one start still held";
    EXPECT_EQ(client->hello(testing::test_account_key), valid_reply);

    const std::size_t before_stop = testing::log_size();
    server->stop();
    EXPECT_EQ(server->port(), 0);
    for (const log_line& line : testing::log_lines_since(before_stop)) {
        EXPECT_EQ(line.level & log_level::error, 0u) << "an orderly stop is no error: " << line.message;
    }
    ASSERT_TRUE(client->closed());
    EXPECT_EQ(client->close_code(), 1000);
    EXPECT_EQ(client->close_reason(), "KESApp Terminating Connection");
    EXPECT_EQ(server->connection_count(), 0u);
    auto late = std::make_unique<websocket_client>(port);
    EXPECT_FALSE(late->opened()) << "nothing listens any more";

    // It starts again, and what it knew survives.
    ASSERT_TRUE(server->start());
    client = valid_client(server->port());
    client->send(R"({"message_id":2,"url":"https://example.org/kept"})");
    ASSERT_TRUE(reached(*server, L"https://example.org/kept"));
    server->stop();
    ASSERT_TRUE(server->start());
    bool fresh = false;
    EXPECT_EQ(server->current_url(fresh), L"https://example.org/kept");
    EXPECT_TRUE(fresh);
    server->stop();
}

TEST_F(WebSocketBridge, OnlyTheExtensionsHandshakesFromThisMachineAreAccepted) {
    auto server = started_server();
    const std::uint16_t port = server->port();
    const std::size_t before = testing::log_size();

    std::vector<std::unique_ptr<websocket_client>> accepted;
    accepted.push_back(client_with(port, "/?pavox"));
    accepted.push_back(client_with(port, "/socket?v=2&pavox=1"));
    accepted.push_back(client_with(port, "/?pavox", "moz-extension://0d1e7a55-2b1c-4a8e-9a8e-3c5e1f2a9b7d"));
    accepted.push_back(client_with(port, "/?pavox", "", "[::1]"));
    for (const auto& client : accepted) EXPECT_TRUE(client->opened());

    std::vector<std::unique_ptr<websocket_client>> refused;
    refused.push_back(client_with(port, "/"));
    refused.push_back(client_with(port, "/?pavo"));
    refused.push_back(client_with(port, "/pavox"));
    refused.push_back(client_with(port, "/?pavox", "http://127.0.0.1:8000"));
    refused.push_back(client_with(port, "/?pavox", "https://example.org"));
    refused.push_back(client_with(port, "/?pavox", "null"));
    refused.push_back(client_with(port, "/?pavox", "file://"));
    refused.push_back(client_with(port, "/?pavox", "chrome-extension://abcdefghijklmnopabcdefghijklmnop"));
    for (const auto& client : refused) {
        EXPECT_FALSE(client->opened());
        EXPECT_EQ(client->status(), 400) << "the library's own refusal";
    }
    EXPECT_EQ(server->connection_count(), accepted.size()) << "refused handshakes leave no entry";

    const auto lines = testing::log_lines_since(before);
    EXPECT_TRUE(has_line(lines, {256, L"[websocket server] Refused a connection from a web page: http://127.0.0.1:8000"}));
    EXPECT_TRUE(has_line(lines, {256, L"[websocket server] Refused a connection from a web page: null"}));
    EXPECT_TRUE(has_line(lines, {256, L"[websocket server] Refused a connection from a web page: file://"}));
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [](const log_line& line) {
        return line.message.find(L"Failed websocket connection attempt") != std::wstring::npos;
    })) << "a refusal is no failed attempt";
    server->stop();
}

TEST_F(WebSocketBridge, AHelloIsAnsweredWithWhetherItsVersionAndKeyAreRight) {
    config::instance().set_account_key(L"AK-ключ");
    auto server = started_server();
    auto client = std::make_unique<websocket_client>(server->port());
    ASSERT_TRUE(client->opened());

    EXPECT_EQ(client->hello("AK-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87"), valid_reply) << "the key is read as UTF-8";
    EXPECT_EQ(client->hello("AK-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87", 2), invalid_reply);
    EXPECT_EQ(client->hello("AK-other"), invalid_reply);
    EXPECT_EQ(client->hello(""), invalid_reply);

    const std::size_t before = testing::log_size();
    client->send("{not json");
    client->send(R"({"message_id":0,"account_key":"AK-x"})");
    client->send(R"({"message_id":0,"account_key":5,"protocol_version":1})");
    client->send(R"({"message_id":5,"account_key":"","protocol_version":1})");
    // The connection stays; the next hello is the next thing answered.
    EXPECT_EQ(client->hello("AK-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87"), valid_reply);
    const auto lines = testing::log_lines_since(before);
    const auto failures = std::count_if(lines.begin(), lines.end(), [](const log_line& line) {
        return line.level == 1 &&
               line.message.rfind(L"Caught std::exception while handling websocket message: \"", 0) == 0;
    });
    EXPECT_EQ(failures, 3);

    // An empty configured key matches an empty one sent.
    config::instance().set_account_key(L"");
    EXPECT_EQ(client->hello(""), valid_reply);
    server->stop();
}

TEST_F(WebSocketBridge, AnAddressFromAnyConnectionIsTheCurrentOneForFifteenSeconds) {
    auto server = started_server();
    bool fresh = true;
    EXPECT_EQ(server->current_url(fresh), L"");
    EXPECT_FALSE(fresh) << "nothing is fresh at start";

    auto client = std::make_unique<websocket_client>(server->port());  // no hello
    ASSERT_TRUE(client->opened());
    const std::size_t before = testing::log_size();
    client->send("{\"message_id\":2,\"url\":\"https://www.b\xC3\xBC" "cher.example/stra\xC3\x9F" "e\"}");
    ASSERT_TRUE(reached(*server, L"https://www.bücher.example/straße"));
    EXPECT_TRUE(has_line(testing::log_lines_since(before),
                         {256, L"[websocket server] Incoming message: {\"message_id\":2,\"url\":\"https://www.b"
                               L"ücher.example/straße\"}"}));

    advance_clock(std::chrono::seconds(15));
    EXPECT_EQ(server->current_url(fresh), L"https://www.bücher.example/straße");
    EXPECT_TRUE(fresh);
    advance_clock(std::chrono::milliseconds(1));
    server->current_url(fresh);
    EXPECT_FALSE(fresh);

    // Addresses that are not text change nothing; a later one replaces it.
    client->send(R"({"message_id":2,"url":7})");
    client->send(R"({"message_id":2})");
    client->send(R"({"message_id":2,"url":"https://example.org/next"})");
    ASSERT_TRUE(reached(*server, L"https://example.org/next"));
    server->stop();
}

TEST_F(WebSocketBridge, IncomingPayloadsAreLoggedOnOneLineAtTheUrlLevel) {
    auto server = started_server();
    auto client = std::make_unique<websocket_client>(server->port());
    ASSERT_TRUE(client->opened());
    const std::size_t before = testing::log_size();
    client->send("{\"message_id\":2,\"url\":\"https://example.org/\r\n20240101T000000:1:forged line\"}");
    EXPECT_EQ(client->hello(testing::test_account_key), valid_reply);
    const std::wstring written = debug_log_read().substr(before);
    EXPECT_NE(written.find(L":256:[websocket server] Incoming message: {\"message_id\":2,\"url\":\"https://example.org/"
                           L"\\r\\n20240101T000000:1:forged line\"}\n"),
              std::wstring::npos)
        << written;
    EXPECT_EQ(written.find(L"\n20240101T000000:1:forged"), std::wstring::npos);
    EXPECT_NE(written.find(L"[websocket server] Incoming message: {\"message_id\":0,\"account_key\":\"****5e1f\""),
              std::wstring::npos);
    EXPECT_EQ(written.find(L"AK-test-5e1f"), std::wstring::npos) << "the key itself is never logged";

    // At the default level no payload reaches the log.
    config::instance().set_debug_log_level(log_level::error);
    const std::size_t quiet = testing::log_size();
    client->send(R"({"message_id":2,"url":"https://private.example/"})");
    ASSERT_TRUE(reached(*server, L"https://private.example/"));
    EXPECT_EQ(debug_log_read().substr(quiet).find(L"private.example"), std::wstring::npos);
    server->stop();
}

TEST_F(WebSocketBridge, BroadcastsReachOnlyConnectionsWhoseLastHelloWasValidInTheirOrder) {
    auto server = started_server();
    const std::uint16_t port = server->port();
    auto first = valid_client(port);
    auto wrong_version = std::make_unique<websocket_client>(port);
    ASSERT_TRUE(wrong_version->opened());
    EXPECT_EQ(wrong_version->hello(testing::test_account_key, 2), invalid_reply);
    auto silent = std::make_unique<websocket_client>(port);
    ASSERT_TRUE(silent->opened());
    auto second = valid_client(port);

    server->broadcast_to_valid("block one");
    EXPECT_EQ(first->next_message(), std::optional<std::string>("block one"));
    EXPECT_EQ(second->next_message(), std::optional<std::string>("block one"));
    // The others' next message is the answer to a hello sent afterwards.
    EXPECT_EQ(wrong_version->hello("AK-wrong"), invalid_reply);
    EXPECT_EQ(silent->hello("AK-wrong"), invalid_reply);

    // A valid connection that says a wrong hello gets nothing more.
    EXPECT_EQ(first->hello("AK-wrong"), invalid_reply);
    server->broadcast_to_valid("block two");
    EXPECT_EQ(second->next_message(), std::optional<std::string>("block two"));
    EXPECT_EQ(first->hello("AK-wrong"), invalid_reply);
    server->stop();

    // Stopped, it sends nothing, and a restart does not send it late.
    server->broadcast_to_valid("while stopped");
    ASSERT_TRUE(server->start());
    auto third = valid_client(server->port());
    EXPECT_EQ(third->hello(testing::test_account_key), valid_reply);
    server->stop();
}

// Handshakes cut off by their client (a reset right after the request):
// whatever stage the server had reached, nothing of them stays behind.
TEST_F(WebSocketBridge, HandshakesCutOffByTheirClientLeaveNoEntry) {
    auto server = started_server();
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in address = loopback_address(server->port());
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::send(fd, upgrade_request.data(), upgrade_request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(upgrade_request.size()));
        const linger abort_at_close{1, 0};  // a reset, not an orderly close
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_at_close, sizeof abort_at_close);
        ::close(fd);
    }
    EXPECT_TRUE(testing::eventually([&] { return server->connection_count() == 0; }));
    auto client = valid_client(server->port());
    EXPECT_EQ(server->connection_count(), 1u);
    server->stop();
}

// Connections held beyond the bridge's limit make room: the oldest without a
// valid hello goes, and once every held one has a valid hello, the newcomer.
TEST_F(WebSocketBridge, ConnectionsBeyondTheLimitGiveUpTheOldestWithoutAValidHello) {
    websocket_server::limits bounds;
    bounds.connections = 3;
    auto server = started_server(bounds);
    const std::uint16_t port = server->port();
    auto valid = valid_client(port);
    auto silent = std::make_unique<websocket_client>(port);
    ASSERT_TRUE(silent->opened());
    auto wrong = std::make_unique<websocket_client>(port);
    ASSERT_TRUE(wrong->opened());
    EXPECT_EQ(wrong->hello("AK-wrong"), invalid_reply);

    auto newcomer = std::make_unique<websocket_client>(port);
    ASSERT_TRUE(newcomer->opened());
    EXPECT_TRUE(silent->closed()) << "the oldest without a valid hello";
    auto next = std::make_unique<websocket_client>(port);
    ASSERT_TRUE(next->opened());
    EXPECT_TRUE(wrong->closed()) << "a hello that is not valid holds no place";
    EXPECT_EQ(valid->hello(testing::test_account_key), valid_reply) << "a valid one keeps its place";
    EXPECT_EQ(newcomer->hello(testing::test_account_key), valid_reply);
    EXPECT_EQ(next->hello(testing::test_account_key), valid_reply);

    auto refused = std::make_unique<websocket_client>(port);
    EXPECT_FALSE(refused->opened()) << "every held connection has a valid hello";
    EXPECT_TRUE(testing::eventually([&] { return server->held_connection_count() == 3; }));
    EXPECT_EQ(valid->hello(testing::test_account_key), valid_reply);
    server->stop();
}

// A connection that says no hello within the deadline is closed with the
// policy status; one that said any hello stays, as does the bridge.
TEST_F(WebSocketBridge, AConnectionThatSaysNoHelloInTimeIsClosed) {
    websocket_server::limits bounds;
    bounds.hello_deadline = std::chrono::milliseconds(300);
    auto server = started_server(bounds);
    auto talker = std::make_unique<websocket_client>(server->port());
    ASSERT_TRUE(talker->opened());
    EXPECT_EQ(talker->hello("AK-wrong"), invalid_reply);
    auto silent = std::make_unique<websocket_client>(server->port());
    ASSERT_TRUE(silent->opened());
    silent->send(R"({"message_id":2,"url":"https://example.org/no-hello"})");

    ASSERT_TRUE(silent->closed());
    EXPECT_EQ(silent->close_code(), 1008);
    EXPECT_EQ(talker->hello("AK-wrong"), invalid_reply);
    EXPECT_TRUE(testing::eventually([&] { return server->held_connection_count() == 1; }));
    auto late = valid_client(server->port());
    server->stop();
}

// A message larger than the limit closes its connection before it is read
// whole; one within it is taken.
TEST_F(WebSocketBridge, AMessageLargerThanTheLimitClosesItsConnection) {
    websocket_server::limits bounds;
    bounds.message_bytes = 1024;
    auto server = started_server(bounds);
    auto client = valid_client(server->port());
    const std::string head = R"({"message_id":2,"url":"https://example.org/)";
    const std::string fits = head + std::string(1024 - head.size() - 2, 'a') + "\"}";
    ASSERT_EQ(fits.size(), 1024u);
    client->send(fits);
    ASSERT_TRUE(reached(*server, L"https://example.org/" + std::wstring(1024 - head.size() - 2, L'a')));
    client->send(head + std::string(1024, 'b') + "\"}");
    ASSERT_TRUE(client->closed());
    EXPECT_EQ(client->close_code(), 1009);
    server->stop();
}

// Replies a peer does not take are bounded: past the limit the connection
// is ended, and the bridge goes on serving the others.
TEST_F(WebSocketBridge, APeerThatDoesNotReadIsEndedOnceItsUnsentRepliesPassTheLimit) {
    websocket_server::limits bounds;
    bounds.unsent_bytes = 16 * 1024;
    auto server = started_server(bounds);
    raw_websocket hoarder(server->port());
    const std::string hello = R"({"message_id":0,"account_key":"AK-wrong","protocol_version":1})";
    std::size_t sent = 0;
    while (sent < 200000 && hoarder.send_text(hello)) ++sent;
    EXPECT_TRUE(testing::eventually([&] { return server->held_connection_count() == 0; })) << sent << " hellos sent";
    auto client = valid_client(server->port());
    server->stop();
}

// Out of descriptors, the listener stays readable: the bridge tries again
// after a pause instead of at once, and accepts once a descriptor is free.
TEST_F(WebSocketBridge, OutOfDescriptorsTheBridgePausesBeforeItTriesToAcceptAgain) {
    auto server = started_server();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 4096);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> taken;
    for (int fd = ::dup(client); fd >= 0; fd = ::dup(client)) taken.push_back(fd);
    ASSERT_EQ(errno, EMFILE);

    sockaddr_in address = loopback_address(server->port());
    const std::size_t before = testing::log_size();
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto cpu_seconds = [] {
        rusage used{};
        ::getrusage(RUSAGE_SELF, &used);
        return used.ru_utime.tv_sec + used.ru_stime.tv_sec + (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    };
    const double cpu_before = cpu_seconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpu_used = cpu_seconds() - cpu_before;
    for (const int fd : taken) ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    std::printf("out of descriptors for 1 s: %.3f s of CPU\n", cpu_used);
    ASSERT_EQ(::send(client, upgrade_request.data(), upgrade_request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(upgrade_request.size()));
    const timeval limit{10, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char answer[12] = {};
    EXPECT_EQ(::recv(client, answer, sizeof answer, MSG_WAITALL), 12);
    EXPECT_EQ(std::string(answer, sizeof answer), "HTTP/1.1 101") << "accepted once a descriptor was free";
    ::close(client);
    server->stop();

    // Every failed accept is counted: written, or held back and counted by
    // the stop. A few pauses fit in that second, not the thousands of tries
    // of a listener that tries again at once.
    const std::wstring failed = L"[websocket_server] Failed to accept a connection: ";
    long tries = 0;
    for (const log_line& line : testing::log_lines_since(before)) {
        if (line.message == failed + L"Too many open files") ++tries;
        if (line.message.rfind(failed, 0) == 0 && line.message.find(L" more suppressed") != std::wstring::npos) {
            tries += std::stol(line.message.substr(failed.size()));
        }
    }
    std::printf("%ld accepts tried while out of descriptors\n", tries);
    EXPECT_GE(tries, 1);
    EXPECT_LE(tries, 10);
}

// A peer that sends malformed messages without end writes a bounded number of
// lines, at every level where they are kept.
TEST_F(WebSocketBridge, LinesAPeerCausesPerMessageAreRateLimited) {
    config::instance().set_debug_log_level(log_level::error);
    auto server = started_server();
    auto client = valid_client(server->port());
    const std::size_t before = testing::log_size();
    for (int i = 0; i < 500; ++i) client->send("{not json");
    EXPECT_EQ(client->hello(testing::test_account_key), valid_reply) << "every message was handled";
    const auto lines = testing::log_lines_since(before);
    const auto failures = std::count_if(lines.begin(), lines.end(), [](const log_line& line) {
        return line.message.rfind(L"Caught std::exception while handling websocket message: \"", 0) == 0;
    });
    EXPECT_EQ(failures, static_cast<long>(log_rate_limit::default_lines_per_window));
    EXPECT_EQ(lines.size(), log_rate_limit::default_lines_per_window);
    server->stop();
    EXPECT_TRUE(has_line(testing::log_lines_since(before),
                         {1, L"Caught std::exception while handling websocket message: 480 more suppressed"}))
        << "a stop writes what was held back";
}

// The scanner's side and the server's thread at once: the address is read
// and blocks are broadcast while addresses keep coming in.
TEST_F(WebSocketBridge, TheScannerReadsAndBroadcastsWhileTheServerTakesInAddresses) {
    auto server = started_server();
    auto client = valid_client(server->port());
    constexpr int addresses = 300;
    std::thread extension([&] {
        for (int i = 1; i <= addresses; ++i) {
            client->send(R"({"message_id":2,"url":"https://example.org/)" + std::to_string(i) + "\"}");
        }
    });
    int broadcasts = 0;
    const bool all_arrived = testing::eventually(
        [&] {
            server->broadcast_to_valid("block " + std::to_string(++broadcasts));
            bool fresh = false;
            return server->current_url(fresh) == L"https://example.org/" + std::to_wstring(addresses);
        },
        std::chrono::seconds(30));
    extension.join();
    ASSERT_TRUE(all_arrived);
    for (int i = 1; i <= broadcasts; ++i) {
        EXPECT_EQ(client->next_message(), std::optional<std::string>("block " + std::to_string(i)));
    }
    server->stop();
}

}  // namespace
}  // namespace kes
