#include "core/capture/daemon.h"
#include "core/foundation/activation_service.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "tests/support/bare_daemon.h"
#include "tests/support/eventually.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kes {
namespace {

using namespace std::chrono_literals;
using clock_point = std::chrono::system_clock::time_point;
using testing::eventually;

struct accepting_service : activation_service {
    activation_result activate_enterprise(const std::wstring&) override { return {}; }
    activation_result activate_silent() override {
        activation_result ok;
        ok.result = activation_result::outcome::success;
        return ok;
    }
};

// Records the operations the puller thread runs, in order. The message list
// is answered on the first pull only, unless `every_pull` says otherwise.
struct recording_puller : puller {
    std::vector<std::uint32_t> messages;
    bool every_pull = true;
    std::mutex mutex;
    std::vector<std::string> calls;
    std::atomic<bool> messages_pulled{false};
    std::atomic<int> pulls{0};
    // While set, an alerts pull waits until it is cleared.
    std::atomic<bool> hold_alerts{false};
    std::atomic<bool> in_alerts{false};

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
        return pulls++ == 0 || every_pull ? messages : std::vector<std::uint32_t>{};
    }
    void pull_alerts() override {
        record("alerts");
        in_alerts = true;
        while (hold_alerts.load()) std::this_thread::sleep_for(1ms);
    }
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
        config::instance().set_last_pull_time(config::ptime());
        recording_puller* recorder = nullptr;
        auto agent = daemon_with(recorder, std::move(messages), [now] { return now; });
        agent->start(nullptr);
        wait_for_heartbeat();  // stored once the cycle has acted on its messages
        agent->stop();
        return calls_of(*recorder);
    }

    static void wait_for_heartbeat() {
        eventually([] { return !config::instance().get_last_pull_time().is_not_a_date_time(); });
    }

    static std::unique_ptr<testing::bare_daemon> daemon_with(recording_puller*& recorder,
                                                   std::vector<std::uint32_t> messages = {},
                                                   daemon::clock_source clock = &std::chrono::system_clock::now) {
        return std::make_unique<testing::bare_daemon>(
            [&recorder, &messages] {
                daemon_workers workers;
                workers.scanner = std::make_unique<scanner>();
                workers.pusher = std::make_unique<pusher>();
                auto p = std::make_unique<recording_puller>();
                p->messages = std::move(messages);
                recorder = p.get();
                workers.puller = std::move(p);
                return workers;
            },
            std::move(clock));
    }

    static std::vector<std::string> calls_of(recording_puller& recorder) {
        std::lock_guard<std::mutex> lock(recorder.mutex);
        return recorder.calls;
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
    auto agent = daemon_with(recorder);
    agent->start(nullptr);
    wait_for_heartbeat();
    agent->stop();
    EXPECT_FALSE(config::instance().get_last_pull_time().is_not_a_date_time())
        << "the heartbeat is stored whether or not the user is signed in";
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"idle"}));
}

// A long list is acted on a bounded number per pull, in its order; the rest
// waits for the next pulls.
TEST_F(PullerCycleTest, ALongMessageListIsActedOnSixteenPerPull) {
    config::instance().set_pull_interval(0);  // the shortest sleep: a second
    config::instance().set_last_browser_support_pull(std::chrono::system_clock::now());
    std::vector<std::uint32_t> list;
    const std::vector<std::string> names{"alerts", "config", "client", "beta", "blocklist"};
    for (std::uint32_t i = 0; i < 40; ++i) list.push_back(1 + i % 5);
    recording_puller* recorder = nullptr;
    auto agent = daemon_with(recorder, list);
    recorder->every_pull = false;
    agent->start(nullptr);
    ASSERT_TRUE(eventually([&] { return recorder->pulls.load() >= 4; }));
    agent->stop();

    std::vector<std::string> expected{"idle", "config"};
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i % daemon::max_messages_per_pull == 0) expected.push_back("messages");
        expected.push_back(names[list[i] - 1]);
    }
    expected.push_back("messages");
    std::vector<std::string> calls = calls_of(*recorder);
    ASSERT_GE(calls.size(), expected.size());
    calls.resize(expected.size());
    EXPECT_EQ(calls, expected);
}

TEST_F(PullerCycleTest, AHugeMessageListHoldsThePullerForABoundedNumberOfCalls) {
    recording_puller* recorder = nullptr;
    auto agent = daemon_with(recorder, std::vector<std::uint32_t>(6000, 1));
    config::instance().set_last_pull_time(config::ptime());
    agent->start(nullptr);
    wait_for_heartbeat();
    agent->stop();
    const std::vector<std::string> calls = calls_of(*recorder);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "alerts"), static_cast<long>(daemon::max_messages_per_pull));
    // What did not fit the queue is said at the default mask, code by code.
    EXPECT_NE(debug_log_read().find(L":65:[daemon] 64 messages wait already; dropped codes 1 x5936"),
              std::wstring::npos);
}

// The puller thread sees the stop between two messages and acts on no more.
TEST_F(PullerCycleTest, AStopIsSeenBetweenMessages) {
    recording_puller* recorder = nullptr;
    auto agent = daemon_with(recorder, {1, 1, 1, 1});
    recorder->hold_alerts = true;
    agent->start(nullptr);
    ASSERT_TRUE(eventually([&] { return recorder->in_alerts.load(); }));
    std::thread stopper([&] { agent->stop(); });
    ASSERT_TRUE(eventually([&] { return !agent->is_running(); }));
    recorder->hold_alerts = false;
    stopper.join();
    const std::vector<std::string> calls = calls_of(*recorder);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "alerts"), 1);
}

// Zero from the service or a settings file: the puller still sleeps a second
// between its pulls. A slow machine only makes the pulls fewer.
TEST_F(PullerCycleTest, ZeroIntervalsDoNotSpinThePuller) {
    config::instance().set_pull_interval(0);
    recording_puller* recorder = nullptr;
    auto agent = daemon_with(recorder);
    const auto started = std::chrono::steady_clock::now();
    agent->start(nullptr);
    std::this_thread::sleep_for(2500ms);
    const int pulls = recorder->pulls.load();
    const auto whole_seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    agent->stop();
    EXPECT_GE(pulls, 1);
    EXPECT_LE(pulls, whole_seconds.count());  // the first after the initial sleep
}

}  // namespace
}  // namespace kes
