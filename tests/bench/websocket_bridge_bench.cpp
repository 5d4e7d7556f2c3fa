// What the extension's bridge costs the scanner at a record start: reading
// the last address under the bridge's mutex, and the whole WebSocket link
// with a fresh address outside a focus session, alone and while an extension
// keeps reporting addresses (the server's thread then takes the same mutex).
// Run with HOME pointing at a scratch folder: the store writes its files there.
#include "core/capture/common_extended_info_grabber_url_websocket.h"
#include "core/capture/websocket_server.h"
#include "core/foundation/config.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/websocket_client.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

std::unique_ptr<kes::websocket_server> bridge() {
    return std::make_unique<kes::websocket_server>(
        std::vector<std::uint16_t>{static_cast<std::uint16_t>(kes::testing::closed_loopback_port())});
}

// Reports one address and waits until the server has it.
void report(kes::testing::websocket_client& client, const kes::websocket_server& server) {
    if (!client.opened()) throw std::runtime_error("the bridge refused the benchmark's client");
    client.send(R"({"message_id":2,"url":"https://www.example.org/news/today/story?id=42"})");
    bool fresh = false;
    while (server.current_url(fresh).empty() || !fresh) std::this_thread::yield();
}

void BM_ReadTheLastAddress(benchmark::State& state) {
    kes::config::instance().set_defaults();
    auto server = bridge();
    server->start();
    kes::testing::websocket_client client(server->port());
    report(client, *server);
    for (auto _ : state) {
        bool fresh = false;
        benchmark::DoNotOptimize(server->current_url(fresh));
    }
    server->stop();
}
BENCHMARK(BM_ReadTheLastAddress);

void BM_WebSocketLinkWithAFreshAddress(benchmark::State& state) {
    kes::config::instance().set_defaults();
    auto server = bridge();
    kes::common_extended_info_grabber_url_websocket link(L"", L"org.mozilla.firefox", L"websocket", *server);
    kes::testing::websocket_client client(server->port());
    report(client, *server);
    for (auto _ : state) benchmark::DoNotOptimize(link.get_extended_info());
}
BENCHMARK(BM_WebSocketLinkWithAFreshAddress);

void BM_WebSocketLinkWhileTheExtensionReports(benchmark::State& state) {
    kes::config::instance().set_defaults();
    auto server = bridge();
    kes::common_extended_info_grabber_url_websocket link(L"", L"org.mozilla.firefox", L"websocket", *server);
    kes::testing::websocket_client client(server->port());
    report(client, *server);
    std::atomic<bool> done{false};
    std::thread extension([&] {
        for (int i = 0; !done; ++i) {
            client.send(R"({"message_id":2,"url":"https://www.example.org/page/)" + std::to_string(i) + "\"}");
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    for (auto _ : state) benchmark::DoNotOptimize(link.get_extended_info());
    done = true;
    extension.join();
}
BENCHMARK(BM_WebSocketLinkWhileTheExtensionReports);

}  // namespace
