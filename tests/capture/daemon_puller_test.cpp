#include "core/capture/daemon.h"
#include "core/foundation/activation_service.h"
#include "core/foundation/config.h"
#include "osx/osx_daemon.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kes {
namespace {

using namespace std::chrono_literals;
using clock_point = std::chrono::system_clock::time_point;

struct accepting_service : activation_service {
    activation_result activate_enterprise(const std::wstring&) override { return {}; }
    activation_result activate_silent() override {
        activation_result ok;
        ok.result = activation_result::outcome::success;
        return ok;
    }
};

// Records the operations the puller thread runs, in order.
struct recording_puller : puller {
    std::vector<std::uint32_t> messages;
    std::mutex mutex;
    std::vector<std::string> calls;
    std::atomic<bool> messages_pulled{false};

    void record(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }
    void update_idle_activity_list() override { record("idle"); }
    void pull_config() override { record("config"); }
    void update_browser_support() override { record("browser"); }
    std::vector<std::uint32_t> pull_messages() override {
        record("messages");
        messages_pulled = true;
        return messages;
    }
    void pull_alerts() override { record("alerts"); }
    void update_client() override { record("client"); }
    void update_client_beta() override { record("beta"); }
    void update_blocked_list_no_params() override { record("blocklist"); }
};

class PullerCycleTest : public ::testing::Test {
protected:
    void SetUp() override { sign_in_as(L"account-key-1234"); }

    static void sign_in_as(const std::wstring& account_key) {
        config& settings = config::instance();
        settings.reset(account_key);
        settings.set_activation_service(std::make_shared<accepting_service>());
        settings.set_scan_interval(1500);
        settings.set_push_initial_interval(1800);
        settings.set_pull_initial_interval(0);
        settings.set_pull_interval(1800);
    }
    void TearDown() override { config::instance().set_activation_service(nullptr); }

    // Runs the puller thread for one signed-in cycle with the given clock.
    std::vector<std::string> run_one_cycle(std::vector<std::uint32_t> messages, clock_point now) {
        recording_puller* recorder = nullptr;
        osx_daemon agent(
            [&] {
                daemon_workers workers;
                workers.scanner = std::make_unique<scanner>();
                workers.pusher = std::make_unique<pusher>();
                auto p = std::make_unique<recording_puller>();
                p->messages = std::move(messages);
                recorder = p.get();
                workers.puller = std::move(p);
                return workers;
            },
            [now] { return now; });
        agent.start(nullptr);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!recorder->messages_pulled && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(2ms);
        }
        agent.stop();
        std::lock_guard<std::mutex> lock(recorder->mutex);
        return recorder->calls;
    }
};

TEST_F(PullerCycleTest, EachMessageCodeRunsItsOperationAndUnknownCodesNothing) {
    const clock_point last_pull = std::chrono::system_clock::now();
    config::instance().set_last_browser_support_pull(last_pull);
    const auto calls = run_one_cycle({1, 2, 3, 4, 5, 6, 0, 7, 42}, last_pull + 1h);
    EXPECT_EQ(calls, (std::vector<std::string>{"idle", "config", "messages", "alerts", "config", "client",
                                               "beta", "blocklist"}));
}

TEST_F(PullerCycleTest, BrowserSupportIsPulledAgainOnlyFromTwentyOneThousandSixHundredAndOneSeconds) {
    const clock_point last_pull = std::chrono::system_clock::now();
    config::instance().set_last_browser_support_pull(last_pull);
    const auto not_yet = run_one_cycle({}, last_pull + 21600900ms);
    EXPECT_EQ(not_yet, (std::vector<std::string>{"idle", "config", "messages"}));
    EXPECT_EQ(config::instance().get_last_browser_support_pull(), last_pull);

    const auto due = run_one_cycle({}, last_pull + 21601s);
    EXPECT_EQ(due, (std::vector<std::string>{"idle", "config", "browser", "messages"}));
    EXPECT_EQ(config::instance().get_last_browser_support_pull(), last_pull + 21601s);
}

TEST_F(PullerCycleTest, NothingIsPulledWhileSignedOut) {
    sign_in_as(L"");
    config::instance().set_last_pull_time(config::ptime());
    recording_puller* recorder = nullptr;
    osx_daemon agent([&] {
        daemon_workers workers;
        workers.scanner = std::make_unique<scanner>();
        workers.pusher = std::make_unique<pusher>();
        auto p = std::make_unique<recording_puller>();
        recorder = p.get();
        workers.puller = std::move(p);
        return workers;
    });
    agent.start(nullptr);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (config::instance().get_last_pull_time().is_not_a_date_time() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    agent.stop();
    EXPECT_FALSE(config::instance().get_last_pull_time().is_not_a_date_time())
        << "the heartbeat is stored whether or not the user is signed in";
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"idle"}));
}

}  // namespace
}  // namespace kes
