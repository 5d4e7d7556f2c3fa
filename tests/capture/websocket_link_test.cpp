// The browser chain's WebSocket link over a bridge of the test's own: what it
// answers the scanner, the block message it has sent during a focus session,
// and the starts it holds.
#include "core/capture/common_extended_info_grabber_url_websocket.h"
#include "tests/capture/websocket_server_fixture.h"
#include "tests/ui/debug_log_lines.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

using boost::posix_time::minutes;
using boost::posix_time::seconds;
using boost::posix_time::time_from_string;
using testing::websocket_client;

const std::string invalid_reply = R"({"message_id":1,"protocol_version":1,"valid":false})";

class WebSocketLink : public testing::WebSocketServerTest {
protected:
    void SetUp() override {
        WebSocketServerTest::SetUp();
        settings().set_clock([this] { return now_; });
        settings().set_url(L"app.kestrel.test");
        settings().set_blocked_items({L"bücher.example", L"example.net"});
    }
    void TearDown() override {
        settings().set_clock({});
        WebSocketServerTest::TearDown();
    }
    static config& settings() { return config::instance(); }

    std::unique_ptr<common_extended_info_grabber_url_websocket> link_on(websocket_server& server) {
        return std::make_unique<common_extended_info_grabber_url_websocket>(L"", L"org.mozilla.firefox",
                                                                            L"websocket", server);
    }

    // Reports an address and waits until the server has it.
    static void report(websocket_client& client, websocket_server& server, const std::string& utf8,
                       const std::wstring& address) {
        client.send(R"({"message_id":2,"url":")" + utf8 + "\"}");
        ASSERT_TRUE(reached(server, address));
    }

    boost::posix_time::ptime now_ = time_from_string("2024-05-01 17:30:05");
};

TEST_F(WebSocketLink, AnswersTheLastAddressWhileItIsFreshAndNothingOnceItIsOld) {
    auto server = server_on({free_port()});
    auto link = link_on(*server);
    ASSERT_NE(server->port(), 0) << "the link started the server";
    EXPECT_EQ(link->get_extended_info(), L"") << "nothing reported yet";

    auto client = std::make_unique<websocket_client>(server->port());
    ASSERT_TRUE(client->opened());
    report(*client, *server, "https://example.org/a?b=c", L"https://example.org/a?b=c");
    EXPECT_EQ(link->get_extended_info(), L"https://example.org/a?b=c");
    advance_clock(std::chrono::seconds(16));
    EXPECT_EQ(link->get_extended_info(), L"") << "an old address: the chain goes on";
}

TEST_F(WebSocketLink, DuringAFocusSessionABlockedAddressSendsTheBlockPageToValidConnections) {
    settings().set_blocking_until(now_ + minutes(25) + seconds(7));
    auto server = server_on({free_port()});
    auto link = link_on(*server);
    auto valid = valid_client(server->port());
    auto invalid = std::make_unique<websocket_client>(server->port());
    ASSERT_TRUE(invalid->opened());
    EXPECT_EQ(invalid->hello(testing::test_account_key, 2), invalid_reply);

    // Reported by the connection that is not valid: still the page in front.
    const std::string address = "https://www.b\xC3\xBC" "cher.example/stra\xC3\x9F" "e?x=1";
    report(*invalid, *server, address, L"https://www.bücher.example/straße?x=1");
    const std::size_t before = testing::log_size();
    EXPECT_EQ(link->get_extended_info(), L"https://www.bücher.example/straße?x=1") << "kept although blocked";
    const std::string expected = "{\"block_url\":\"https://app.kestrel.test/blocked/url/"
                                 "https%3A%2F%2Fwww.b%C3%BCcher.example\",\"message_id\":3,"
                                 "\"stillzone_duration\":1507,\"url\":\"" + address + "\"}";
    EXPECT_EQ(valid->next_message(), std::optional<std::string>(expected));
    EXPECT_EQ(invalid->hello("AK-wrong"), invalid_reply) << "nothing came before the answer";
    EXPECT_NE(debug_log_read().substr(before).find(
                  L":256:[websocket server] sending (next line):\n\"{\"block_url\":\"https://app.kestrel.test/blocked/"
                  L"url/https%3A%2F%2Fwww.b%C3%BCcher.example\",\"message_id\":3,\"stillzone_duration\":1507,"
                  L"\"url\":\"https://www.bücher.example/straße?x=1\"}\"\n"),
              std::wstring::npos);

    // An address that is not blocked sends nothing.
    report(*invalid, *server, "https://example.org/", L"https://example.org/");
    EXPECT_EQ(link->get_extended_info(), L"https://example.org/");
    EXPECT_EQ(valid->hello("AK-wrong"), invalid_reply);
}

TEST_F(WebSocketLink, TheFocusTimeLeftIsWholeSecondsAndCanBeNoneOrLess) {
    auto server = server_on({free_port()});
    auto link = link_on(*server);
    auto valid = valid_client(server->port());
    report(*valid, *server, "https://example.net/", L"https://example.net/");

    settings().set_blocking_until(now_ + boost::posix_time::milliseconds(2900));
    link->get_extended_info();
    EXPECT_EQ(valid->next_message(),
              std::optional<std::string>("{\"block_url\":\"https://app.kestrel.test/blocked/url/"
                                         "https%3A%2F%2Fexample.net\",\"message_id\":3,\"stillzone_duration\":2,"
                                         "\"url\":\"https://example.net/\"}"));

    // The session's last second.
    settings().set_blocking_until(now_ + boost::posix_time::milliseconds(500));
    link->get_extended_info();
    const auto message = valid->next_message();
    ASSERT_TRUE(message);
    EXPECT_NE(message->find("\"stillzone_duration\":0,"), std::string::npos) << *message;

    // Not blocking: nothing is sent.
    settings().set_blocking_until(now_ - seconds(1));
    EXPECT_EQ(link->get_extended_info(), L"https://example.net/");
    EXPECT_EQ(valid->hello("AK-wrong"), invalid_reply);
}

TEST_F(WebSocketLink, LinksShareOneServerThatStopsWithTheLastOfThem) {
    auto server = server_on({free_port()});
    auto first = link_on(*server);
    auto second = link_on(*server);
    const std::uint16_t port = server->port();
    ASSERT_NE(port, 0);
    auto client = valid_client(port);

    first.reset();
    EXPECT_EQ(server->port(), port);
    EXPECT_EQ(client->hello(testing::test_account_key),
              std::optional<std::string>(R"({"message_id":1,"protocol_version":1,"valid":true})"));
    second.reset();
    EXPECT_EQ(server->port(), 0);
    EXPECT_TRUE(client->closed());
}

TEST_F(WebSocketLink, ALinkWhoseStartFailedStopsNothing) {
    auto taken = std::make_unique<testing::loopback_listener>();
    auto server = server_on({static_cast<std::uint16_t>(taken->port())});
    auto failed = link_on(*server);
    EXPECT_EQ(server->port(), 0);
    EXPECT_EQ(failed->get_extended_info(), L"");

    taken.reset();
    auto working = link_on(*server);
    ASSERT_NE(server->port(), 0) << "the next link tries again";
    failed.reset();
    EXPECT_NE(server->port(), 0);
    auto client = std::make_unique<websocket_client>(server->port());
    EXPECT_TRUE(client->opened());
    working.reset();
    EXPECT_EQ(server->port(), 0);
}

}  // namespace
}  // namespace kes
