// The browser bridge's parts that need no socket: whom it accepts, the
// messages it reads and writes, its list of connections and where the
// WebSocket library's own log lines go.
#include "core/capture/websocket_connections.h"
#include "core/capture/websocket_handshake.h"
#include "core/capture/keslog_stream.h"
#include "core/capture/websocket_protocol.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "tests/ui/debug_log_lines.h"

#include <boost/asio/ip/address.hpp>
#include <gtest/gtest.h>

#include <ostream>

namespace kes {
namespace {

using websocket_protocol::incoming_message;
using websocket_protocol::read_message;

bool loopback(const char* address) {
    return websocket_handshake::is_loopback_peer(boost::asio::ip::make_address(address));
}

TEST(WebSocketPeers, OnlyLoopbackAddressesOfEitherFamilyAreAccepted) {
    for (const char* accepted : {"127.0.0.1", "127.8.9.10", "127.255.255.254", "::1", "::ffff:127.0.0.1",
                                 "::ffff:127.8.9.10"}) {
        EXPECT_TRUE(loopback(accepted)) << accepted;
    }
    for (const char* refused : {"10.0.0.1", "192.168.1.20", "0.0.0.0", "128.0.0.1", "126.255.255.255",
                                "255.255.255.255", "::", "::2", "fd00::2", "fe80::1", "2001:db8::1",
                                "::ffff:10.0.0.1", "::ffff:192.168.1.20", "::ffff:0.0.0.0", "::127.0.0.1",
                                "64:ff9b::7f00:1"}) {
        EXPECT_FALSE(loopback(refused)) << refused;
    }
}

TEST(WebSocketHandshakes, OnlyTheExtensionAndProgramsWithoutAnOriginAreAccepted) {
    using websocket_handshake::is_accepted_origin;
    for (const char* accepted : {"", "  ", "moz-extension://0d1e7a55-2b1c-4a8e-9a8e-3c5e1f2a9b7d",
                                 "MOZ-EXTENSION://0D1E7A55-2B1C-4A8E-9A8E-3C5E1F2A9B7D"}) {
        EXPECT_TRUE(is_accepted_origin(accepted)) << accepted;
    }
    for (const char* refused :
         {"http://127.0.0.1:8000", "https://example.org", "HTTP://EXAMPLE.ORG", " https://example.org", "null",
          "file", "file://", "file:///home/user/page.html", "blob:https://example.org/1f2e", "ws://127.0.0.1:16587",
          "chrome-untrusted://new-tab-page", "chrome-extension://abcdefghijklmnopabcdefghijklmnop",
          "safari-web-extension://4E1F5A2B", "moz-extension://", "moz-extension:/x", "moz-extensionx://abc",
          "moz-extension://abc/page.html", "moz-extension://abc:80", "moz-extension://abc, https://example.org",
          "moz-extension://abc@example.org"}) {
        EXPECT_FALSE(is_accepted_origin(refused)) << refused;
    }
}

TEST(WebSocketHandshakes, TheTokenCountsAnywhereInTheQueryAndNowhereElse) {
    using websocket_handshake::carries_connection_token;
    for (const char* with : {"/?pavox", "/?a=1&pavox", "/socket?zzpavoxzz", "/a?b?pavox", "?pavox"}) {
        EXPECT_TRUE(carries_connection_token(with)) << with;
    }
    for (const char* without : {"/", "", "/?", "/?pavo", "/pavox", "/pavox?", "/?PAVOX", "/?pa-vox"}) {
        EXPECT_FALSE(carries_connection_token(without)) << without;
    }
}

TEST(WebSocketMessages, RepliesAndBlockMessagesAreCompactSortedUtf8) {
    EXPECT_EQ(websocket_protocol::hello_reply(true), R"({"message_id":1,"protocol_version":1,"valid":true})");
    EXPECT_EQ(websocket_protocol::hello_reply(false), R"({"message_id":1,"protocol_version":1,"valid":false})");
    EXPECT_EQ(websocket_protocol::block_message(L"https://www.bücher.example/straße?q=\"x\"",
                                                L"https://app.example/blocked/url/https%3A%2F%2Fwww.b%C3%BCcher.example",
                                                1499),
              "{\"block_url\":\"https://app.example/blocked/url/https%3A%2F%2Fwww.b%C3%BCcher.example\","
              "\"message_id\":3,\"stillzone_duration\":1499,"
              "\"url\":\"https://www.b\xC3\xBC" "cher.example/stra\xC3\x9F" "e?q=\\\"x\\\"\"}");
    EXPECT_EQ(websocket_protocol::block_message(L"a", L"b", -3),
              R"({"block_url":"b","message_id":3,"stillzone_duration":-3,"url":"a"})");
}

TEST(WebSocketMessages, HellosAndAddressesAreReadWithTheirTextDecodedFromUtf8) {
    incoming_message hello = read_message(
        "{\"protocol_version\":1,\"account_key\":\"AK-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\",\"message_id\":0}");
    EXPECT_EQ(hello.type, incoming_message::kind::hello);
    EXPECT_EQ(hello.account_key, L"AK-ключ");
    EXPECT_EQ(hello.protocol_version, 1);
    // Any number is taken as a whole number.
    EXPECT_EQ(read_message(R"({"message_id":0.0,"account_key":"","protocol_version":1.9})").protocol_version, 1);
    EXPECT_EQ(read_message(R"({"message_id":0,"account_key":"","protocol_version":-7})").protocol_version, -7);
    EXPECT_EQ(read_message(R"({"message_id":0,"account_key":"","protocol_version":1e300})").protocol_version,
              2147483647);
    EXPECT_EQ(read_message(R"({"message_id":0,"account_key":"","protocol_version":18446744073709551615})")
                  .protocol_version,
              2147483647);

    incoming_message address = read_message("{\"message_id\":2,\"url\":\"https://b\xC3\xBC" "cher.example/\"}");
    EXPECT_EQ(address.type, incoming_message::kind::address);
    EXPECT_EQ(address.url, L"https://bücher.example/");
    // No longer than a record keeps it.
    const std::string head = R"({"message_id":2,"url":"https://example.org/)";
    EXPECT_EQ(read_message(head + std::string(4096 - 20, 'a') + "\"}").url.size(), 4096u);
    EXPECT_EQ(read_message(head + std::string(30000, 'a') + "\"}").url.size(), 4095u);
    EXPECT_EQ(read_message(R"({"message_id":2.5,"url":""})").type, incoming_message::kind::address);
}

TEST(WebSocketMessages, OtherMessagesAreIgnoredAndBrokenOnesThrow) {
    for (const char* ignored : {R"({"message_id":1,"valid":true})", R"({"message_id":3,"url":"x"})",
                                R"({"message_id":"0","account_key":"k","protocol_version":1})",
                                R"({"message_id":true})", R"({"url":"https://example.org/"})",
                                R"({"message_id":2})", R"({"message_id":2,"url":5})", R"({"message_id":2,"url":null})",
                                R"([0,1,2])", R"("text")", "42", "null", "{}"}) {
        EXPECT_EQ(read_message(ignored).type, incoming_message::kind::ignored) << ignored;
    }
    for (const char* broken : {"", "{not json", R"({"message_id":0})", R"({"message_id":0,"account_key":"k"})",
                               R"({"message_id":0,"protocol_version":1})",
                               R"({"message_id":0,"account_key":7,"protocol_version":1})",
                               R"({"message_id":0,"account_key":"k","protocol_version":"1"})",
                               "{\"message_id\":2,\"url\":\"\xC3\"}"}) {
        EXPECT_THROW(read_message(broken), std::exception) << broken;
    }
    // Nesting is bounded as in every untrusted text.
    const auto nested = [](std::size_t depth) {
        return R"({"message_id":2,"url":"x","extra":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
    };
    EXPECT_THROW(read_message(nested(300)), std::exception);
    EXPECT_EQ(read_message(nested(100)).type, incoming_message::kind::address);
}

TEST(WebSocketMessages, ALoggedPayloadStaysOnOneLine) {
    EXPECT_EQ(websocket_protocol::loggable("a\r\n20240101T000000:1:forged\nb"),
              L"a\\r\\n20240101T000000:1:forged\\nb");
    EXPECT_EQ(websocket_protocol::loggable("stra\xC3\x9F" "e \xFF"), L"straße \uFFFD");
}

TEST(WebSocketMessages, NoAccountKeyAndNoAddressReachesTheLogInFull) {
    EXPECT_EQ(websocket_protocol::loggable(R"({"message_id":0,"account_key":"AK-secret-5e1f","protocol_version":1})"),
              LR"({"message_id":0,"account_key":"****5e1f","protocol_version":1})");
    EXPECT_EQ(websocket_protocol::loggable(R"({"account_key" : "AK-\"quoted\"-77ab", "account_key":"AK-again-0c0d"})"),
              LR"({"account_key" : "****77ab", "account_key":"****0c0d"})");
    EXPECT_EQ(websocket_protocol::loggable(R"({"message_id":0,"account_key":"AK-cut-off-9f9f)"),
              LR"({"message_id":0,"account_key":"****9f9f)");
    EXPECT_EQ(websocket_protocol::loggable(R"({"account_key":7,"url":"account_key"})"),
              LR"({"account_key":[redacted],"url":"account_key"})");
    // A key of any other type, or under an escaped name, is hidden whole.
    EXPECT_EQ(websocket_protocol::loggable(
                  R"({"message_id":0,"account_key":["AK-secret-5e1f",{"k":"AK-secret-5e1f]"}],"protocol_version":1})"),
              LR"({"message_id":0,"account_key":[redacted],"protocol_version":1})");
    EXPECT_EQ(websocket_protocol::loggable(
                  R"({"account_key" : {"a":["AK-secret-5e1f"]} , "account\u005Fkey":"AK-secret-0c0d"})"),
              LR"({"account_key" : [redacted] , "account\u005Fkey":"****0c0d"})");
    EXPECT_EQ(websocket_protocol::loggable(R"({"account_key":[["AK-secret-cut-off)"), LR"({"account_key":[redacted])");
    EXPECT_EQ(websocket_protocol::loggable(R"({"account_key":123456789012345678,"x":1})"),
              LR"({"account_key":[redacted],"x":1})");

    // A long payload is cut after its key is hidden, never inside the key.
    const std::string long_payload =
        R"({"message_id":0,"pad":")" + std::string(2000, 'x') + R"(","account_key":"AK-secret-5e1f"})";
    const std::wstring cut = websocket_protocol::loggable(long_payload);
    EXPECT_EQ(cut.find(L"AK-"), std::wstring::npos) << "no part of the key";
    EXPECT_NE(cut.find(L"\"account_key\":\"****5e1f... ["), std::wstring::npos) << cut.substr(2000);

    // A parse error names where, not what it read.
    for (const char* broken : {R"({"message_id":0,"account_key":"AK-secret-5e1f)",
                               R"({"message_id":2,"url":"https://private.example/path)"}) {
        try {
            read_message(broken);
            ADD_FAILURE() << broken;
        } catch (const std::exception& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("parse error"), std::string::npos) << text;
            EXPECT_EQ(text.find("secret"), std::string::npos) << text;
            EXPECT_EQ(text.find("private"), std::string::npos) << text;
        }
    }
}

TEST(WebSocketConnections, EntriesKeepTheirOrderAndLeaveWhenTheirConnectionEnds) {
    auto first = std::make_shared<int>(1);
    auto second = std::make_shared<int>(2);
    auto third = std::make_shared<int>(3);
    const auto at = websocket_connections::clock::now();
    websocket_connections list;
    for (const auto& each : {first, second, third}) {
        list.add_accepted(each, at);
        EXPECT_TRUE(list.mark_open(each));
    }
    EXPECT_TRUE(list.valid().empty()) << "no hello yet";

    list.set_hello(third, 1, true);
    list.set_hello(first, 1, true);
    list.set_hello(second, 2, false);
    auto valid = list.valid();
    ASSERT_EQ(valid.size(), 2u);
    EXPECT_EQ(valid[0].lock(), first) << "list order, not hello order";
    EXPECT_EQ(valid[1].lock(), third);
    list.set_hello(first, 1, false);  // the last hello decides
    ASSERT_EQ(list.valid().size(), 1u);
    EXPECT_EQ(list.valid()[0].lock(), third);

    // A connection that is already gone is still found by its handle.
    const connection_handle gone = second;
    second.reset();
    EXPECT_TRUE(list.remove(gone));
    EXPECT_FALSE(list.remove(gone));
    EXPECT_FALSE(list.remove(std::make_shared<int>(4)));
    EXPECT_FALSE(list.mark_open(std::make_shared<int>(4)));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.open()[0].lock(), first);
}

// A full list makes room by giving up its oldest connection without a valid
// hello, never one with a valid hello; and those whose peer left before its
// handshake, with no word to the bridge, stop counting once they are gone.
TEST(WebSocketConnections, AFullListGivesUpTheOldestConnectionWithoutAValidHello) {
    const auto at = websocket_connections::clock::now();
    std::vector<std::shared_ptr<int>> held;
    websocket_connections list;
    const auto accept = [&] {
        held.push_back(std::make_shared<int>(static_cast<int>(held.size())));
        list.add_accepted(held.back(), at);
    };
    for (int i = 0; i < 4; ++i) accept();
    EXPECT_FALSE(list.make_room(5).refuse);
    EXPECT_FALSE(list.make_room(5).give_up);

    list.set_hello(held[0], 1, true);
    list.set_hello(held[1], 2, false);  // said hello, but no valid one
    const auto room = list.make_room(4);
    ASSERT_TRUE(room.give_up);
    EXPECT_EQ(room.give_up->lock(), held[1]);
    EXPECT_FALSE(room.refuse);
    accept();
    // The one given up is ending: the next to go is the oldest after it.
    EXPECT_EQ(list.make_room(4).give_up->lock(), held[2]);
    accept();

    // While as many again are ending as the capacity, newcomers are refused.
    EXPECT_TRUE(list.make_room(2).refuse);
    EXPECT_EQ(list.held(), 6u);
    held[1].reset();
    held[2].reset();
    EXPECT_EQ(list.held(), 4u) << "gone, without a word";

    // With every connection's hello valid, there is no one to give up.
    for (std::size_t i = 3; i < held.size(); ++i) list.set_hello(held[i], 1, true);
    const auto full = list.make_room(4);
    EXPECT_TRUE(full.refuse);
    EXPECT_FALSE(full.give_up);
    EXPECT_FALSE(list.make_room(5).refuse);
}

TEST(WebSocketConnections, TheOldestConnectionWithoutAHelloSetsTheDeadline) {
    using std::chrono::seconds;
    const auto start = websocket_connections::clock::now();
    auto early = std::make_shared<int>(1);
    auto later = std::make_shared<int>(2);
    auto latest = std::make_shared<int>(3);
    websocket_connections list;
    EXPECT_FALSE(list.oldest_without_hello());
    list.add_accepted(early, start);
    list.add_accepted(later, start + seconds(2));
    list.add_accepted(latest, start + seconds(4));
    EXPECT_EQ(list.oldest_without_hello(), start);

    list.set_hello(early, 2, false);  // any hello counts
    EXPECT_EQ(list.oldest_without_hello(), start + seconds(2));
    EXPECT_TRUE(list.without_hello_since(start + seconds(1)).empty());
    const auto overdue = list.without_hello_since(start + seconds(3));
    ASSERT_EQ(overdue.size(), 1u);
    EXPECT_EQ(overdue[0].lock(), later);

    list.mark_ending(later);
    EXPECT_EQ(list.oldest_without_hello(), start + seconds(4)) << "being ended, it is owed nothing more";
    EXPECT_TRUE(list.without_hello_since(start + seconds(3)).empty());
    EXPECT_FALSE(list.is_held_and_not_ending(later));
    EXPECT_TRUE(list.is_held_and_not_ending(latest));
}

class WebSocketLogStream : public ::testing::Test {
protected:
    void SetUp() override { config::instance().set_debug_log_level(log_level::error | log_level::url); }
    void TearDown() override { config::instance().set_defaults(); }
};

TEST_F(WebSocketLogStream, EachLineBecomesOneUrlLevelLineAndAnOverlongLineSilencesTheStream) {
    impl::keslog_stream buffer;
    std::ostream out(&buffer);
    std::size_t before = testing::log_size();
    out << "[2024-05-01 17:30:05] [connect] Successful connection\n" << std::flush;
    out << "half a line";
    EXPECT_EQ(debug_log_read().substr(before).find(L"half"), std::wstring::npos) << "nothing before its line feed";
    out << " and\rthe rest\n";
    const std::vector<testing::log_line> lines = testing::log_lines_since(before);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (testing::log_line{256, L"[websocketpp log]: [2024-05-01 17:30:05] [connect] Successful "
                                                L"connection"}));
    EXPECT_EQ(lines[1], (testing::log_line{256, L"[websocketpp log]: half a line and\\rthe rest"}));

    config::instance().set_debug_log_level(log_level::error);
    before = testing::log_size();
    out << "not kept at this level\n";
    EXPECT_EQ(testing::log_size(), before);
    config::instance().set_debug_log_level(log_level::url);

    out << std::string(impl::keslog_stream::line_limit, 'x');
    EXPECT_TRUE(out.good()) << "exactly the limit still fits";
    out << "y";
    EXPECT_TRUE(out.fail());
    out.clear();
    out << "\nafterwards\n";
    EXPECT_TRUE(out.fail()) << "silenced for good";
    EXPECT_EQ(testing::log_size(), before);
}

}  // namespace
}  // namespace kes
