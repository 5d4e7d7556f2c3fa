// Ending the agent never waits for the service: a stop aborts the transfer in
// flight, refuses new ones without connecting and skips the reachability probe.
#include "core/capture/daemon.h"
#include "core/foundation/config.h"
#include "core/service/network_errors.h"
#include "core/service/reachability.h"
#include "core/service/request.h"
#include "core/service/transfer_stop.h"
#include "core/foundation/text_table.h"
#include "tests/support/bare_daemon.h"
#include "tests/support/eventually.h"
#include "tests/support/loopback_listener.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using kes::network::transfer_stop;
using kes::testing::eventually;
using kes::testing::loopback_listener;

std::wstring unhandled(int code) {
    return kes::get_text(L"status_error_unhandled_error") + std::to_wstring(code) + L"): " +
           kes::util::widen(curl_easy_strerror(static_cast<CURLcode>(code)));
}

// What the call failed with; "<no failure>" when it did not fail.
std::wstring curl_error_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const Kestrel::Network::CurlError& e) {
        return e.message;
    } catch (const Kestrel::Network::Exception& e) {
        return L"<other exception> " + e.message;
    }
    return L"<no failure>";
}

kes::network::transport_options options_with(std::shared_ptr<const transfer_stop> stop, long timeout_seconds) {
    kes::network::transport_options options;
    options.ca_bundle_path = "/etc/ssl/certs/ca-certificates.crt";
    options.timeout_seconds = timeout_seconds;
    options.connect_timeout_seconds = timeout_seconds;
    options.stop = std::move(stop);
    return options;
}

std::function<void()> messages_call(const loopback_listener& service, const kes::network::transport_options& options) {
    return [&service, options] {
        kes::network::request call("/messages", service.host(), L"AK-test-0123456789", options);
        call.perform(kes::network::post);
    };
}

class TransferStop : public ::testing::Test {
protected:
    void SetUp() override {
        curl_global_init(CURL_GLOBAL_ALL);
        // The probe, when asked, goes to a port of its own that tells.
        ::setenv("KES_REACHABILITY_PROBE_URL", ("http://127.0.0.1:" + std::to_string(probe_.port()) + "/").c_str(),
                 1);
    }
    void TearDown() override { ::setenv("KES_REACHABILITY_PROBE_URL", "http://127.0.0.1:9/", 1); }

    loopback_listener service_;
    loopback_listener probe_;
};

TEST_F(TransferStop, AStopAbortsATransferInFlight) {
    const auto stop = std::make_shared<transfer_stop>();
    // Without the stop this call would end only at its 60 s time-out, with another text.
    std::thread stopper([&] {
        eventually([&] { return service_.was_reached(); });
        std::this_thread::sleep_for(100ms);
        stop->stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const std::wstring failure = curl_error_of(messages_call(service_, options_with(stop, 60)));
    const auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_EQ(failure, unhandled(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_FALSE(probe_.was_reached()) << "a stopping agent does not probe the network";
    std::printf("[ figures  ] the request in flight ended %lld ms after it started (stop at about 100 ms)\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

TEST_F(TransferStop, ARequestMadeOnceStoppedFailsWithoutConnecting) {
    const auto stop = std::make_shared<transfer_stop>();
    stop->stop();
    EXPECT_EQ(curl_error_of(messages_call(service_, options_with(stop, 60))), unhandled(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_FALSE(service_.was_reached());
    EXPECT_FALSE(probe_.was_reached());
}

TEST_F(TransferStop, TheReachabilityProbeIsSkippedOnceStopping) {
    const auto stop = std::make_shared<transfer_stop>();
    // A receive error asks the probe whether the network is there at all ...
    kes::network::curl_code_to_text(CURLE_RECV_ERROR, options_with(nullptr, 1));
    EXPECT_TRUE(probe_.was_reached());
    // ... but not once the agent is ending.
    loopback_listener second_probe;
    ::setenv("KES_REACHABILITY_PROBE_URL",
             ("http://127.0.0.1:" + std::to_string(second_probe.port()) + "/").c_str(), 1);
    stop->stop();
    EXPECT_EQ(kes::network::internet_probe(options_with(stop, 60)), CURLE_ABORTED_BY_CALLBACK);
    kes::network::curl_code_to_text(CURLE_RECV_ERROR, options_with(stop, 60));
    EXPECT_FALSE(second_probe.was_reached());
}

// The daemon's stop reaches requests that name no stop of their own (every
// request of the agent), and only while that daemon exists.
TEST_F(TransferStop, TheDaemonsStopReachesEveryRequestWhileTheDaemonExists) {
    const auto bare_workers = [] {
        kes::daemon_workers workers;
        workers.scanner = std::make_unique<kes::scanner>();
        workers.pusher = std::make_unique<kes::pusher>();
        workers.puller = std::make_unique<kes::puller>();
        return workers;
    };
    {
        kes::testing::bare_daemon agent(bare_workers);
        agent.stop();
        EXPECT_EQ(curl_error_of(messages_call(service_, options_with(nullptr, 60))),
                  unhandled(CURLE_ABORTED_BY_CALLBACK));
        EXPECT_FALSE(service_.was_reached());
    }
    EXPECT_EQ(kes::network::installed_transfer_stop(), nullptr);
    // A later request goes out again (and times out on the silent port).
    EXPECT_EQ(curl_error_of(messages_call(service_, options_with(nullptr, 1))),
              kes::get_text(L"status_error_connection_timeout"));
    EXPECT_TRUE(service_.was_reached());
}

}  // namespace
