#pragma once
// A browser bridge of the test's own on ports nothing else uses, with a clock
// the test moves, and the account key its extension must know.

#include "core/capture/websocket_server.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "tests/support/eventually.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/websocket_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kes::testing {

inline constexpr const char* test_account_key = "AK-test-5e1f";

class WebSocketServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        config::instance().set_defaults();
        config::instance().set_account_key(L"AK-test-5e1f");
        config::instance().set_debug_log_level(log_level::error | log_level::url | log_level::service);
    }
    void TearDown() override { config::instance().set_defaults(); }

    // A server that tries `ports` in order.
    std::unique_ptr<websocket_server> server_on(std::vector<std::uint16_t> ports) {
        return std::make_unique<websocket_server>(std::move(ports), [this] {
            return origin_ + std::chrono::milliseconds(clock_offset_ms_.load());
        });
    }
    std::unique_ptr<websocket_server> started_server(websocket_server::limits bounds = websocket_server::limits()) {
        auto server = std::make_unique<websocket_server>(
            std::vector<std::uint16_t>{free_port()},
            [this] { return origin_ + std::chrono::milliseconds(clock_offset_ms_.load()); }, bounds);
        EXPECT_TRUE(server->start());
        return server;
    }
    static std::uint16_t free_port() { return static_cast<std::uint16_t>(closed_loopback_port()); }

    void advance_clock(std::chrono::milliseconds by) { clock_offset_ms_ += by.count(); }

    // A client that has said a valid hello.
    static std::unique_ptr<websocket_client> valid_client(std::uint16_t port) {
        auto client = std::make_unique<websocket_client>(port);
        EXPECT_TRUE(client->opened());
        EXPECT_EQ(client->hello(test_account_key),
                  std::optional<std::string>(R"({"message_id":1,"protocol_version":1,"valid":true})"));
        return client;
    }

    // Waits until the server has taken in an address.
    static bool reached(const websocket_server& server, const std::wstring& address) {
        return eventually([&] {
            bool fresh = false;
            return server.current_url(fresh) == address && fresh;
        });
    }

    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
    std::atomic<long long> clock_offset_ms_{0};
};

}  // namespace kes::testing
