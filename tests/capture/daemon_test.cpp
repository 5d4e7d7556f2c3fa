#include "core/capture/daemon.h"
#include "core/foundation/config.h"
#include "core/ui/text_table.h"
#include "osx/osx_daemon.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

namespace kes {
namespace {

using namespace std::chrono_literals;

// Workers that count their passes and fail on demand.
struct counting_scanner : scanner {
    std::atomic<int> passes{0};
    std::atomic<int> failures_left{0};
    void scan() override {
        ++passes;
        if (failures_left.load() > 0) {
            --failures_left;
            throw std::runtime_error("scan failed");
        }
    }
};

struct counting_pusher : pusher {
    std::atomic<int> passes{0};
    std::atomic<bool> always_fail{false};
    void shove() override {
        ++passes;
        if (always_fail.load()) throw 42;  // not a std::exception
    }
};

struct counting_puller : puller {
    std::atomic<int> idle_list_updates{0};
    void update_idle_activity_list() override { ++idle_list_updates; }
};

struct worker_set {
    counting_scanner* scanner = nullptr;
    counting_pusher* pusher = nullptr;
    counting_puller* puller = nullptr;

    daemon::worker_factory factory() {
        return [this] {
            daemon_workers workers;
            auto s = std::make_unique<counting_scanner>();
            auto p = std::make_unique<counting_pusher>();
            auto l = std::make_unique<counting_puller>();
            scanner = s.get();
            pusher = p.get();
            puller = l.get();
            workers.scanner = std::move(s);
            workers.pusher = std::move(p);
            workers.puller = std::move(l);
            return workers;
        };
    }
};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        config& settings = config::instance();
        settings.set_scan_interval(100);  // 100 ms
        settings.set_push_initial_interval(0);
        settings.set_push_interval(1800);
        settings.set_pull_initial_interval(1800);
        settings.set_pull_interval(1800);
        settings.set_status_message(L"", 0);
    }
};

TEST(DaemonScanInterval, BelowHundredCountsSecondsFromHundredMilliseconds) {
    EXPECT_EQ(daemon::scan_sleep(1), 1000ms);
    EXPECT_EQ(daemon::scan_sleep(99), 99000ms);
    EXPECT_EQ(daemon::scan_sleep(100), 100ms);
    EXPECT_EQ(daemon::scan_sleep(1500), 1500ms);
}

TEST_F(DaemonTest, TenConsecutiveScannerFailuresAreSurvivedAndEachSetsTheFatalStatus) {
    worker_set workers;
    osx_daemon agent(workers.factory());
    workers.scanner->failures_left = 10;
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return workers.scanner->passes.load() >= 12; }));
    EXPECT_TRUE(agent.is_running());
    EXPECT_EQ(config::instance().get_status_message(), get_text(L"status_message_fatal_error"));
    EXPECT_EQ(config::instance().get_status_severity(), 4);
    agent.stop();
}

TEST_F(DaemonTest, EleventhScannerFailureEndsTheScannerAndThePusherAndPullerLoops) {
    config::instance().set_push_interval(0);  // the pusher tests `running` at once
    worker_set workers;
    osx_daemon agent(workers.factory());
    workers.scanner->failures_left = 1000;
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return !agent.is_running(); }));
    EXPECT_EQ(workers.scanner->passes.load(), 11);  // retried at once, without sleeping
    const int pushes = workers.pusher->passes.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(workers.pusher->passes.load(), pushes) << "the pusher loop must have ended";
    agent.stop();
}

TEST_F(DaemonTest, FailureCountRestartsAfterAGoodPass) {
    worker_set workers;
    osx_daemon agent(workers.factory());
    workers.scanner->failures_left = 10;
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return workers.scanner->passes.load() >= 12; }));
    workers.scanner->failures_left = 10;  // ten more in a row, counted from 1 again
    ASSERT_TRUE(eventually([&] { return workers.scanner->passes.load() >= 24; }));
    EXPECT_TRUE(agent.is_running());
    agent.stop();
}

TEST_F(DaemonTest, PusherLoopEndsOnItsEleventhFailureButLeavesTheDaemonRunning) {
    config::instance().set_push_interval(0);
    worker_set workers;
    osx_daemon agent(workers.factory());
    workers.pusher->always_fail = true;
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return workers.pusher->passes.load() >= 11; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(workers.pusher->passes.load(), 11);
    EXPECT_TRUE(agent.is_running());
    agent.stop();
}

TEST_F(DaemonTest, StopDuringLongSleepsReturnsAtOnce) {
    config::instance().set_push_initial_interval(1800);
    worker_set workers;
    osx_daemon agent(workers.factory());
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return workers.puller->idle_list_updates.load() == 1; }));
    const auto started = std::chrono::steady_clock::now();
    agent.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_FALSE(agent.is_running());
}

TEST_F(DaemonTest, DestroyingAStartedDaemonWithoutStopEndsItsThreads) {
    worker_set workers;
    {
        osx_daemon agent(workers.factory());
        agent.start(nullptr);
        ASSERT_TRUE(eventually([&] { return workers.scanner->passes.load() >= 1; }));
    }  // must not reach std::terminate
    SUCCEED();
}

TEST_F(DaemonTest, WaitForStopAnswersFalseOnceTheSlotIsStopped) {
    worker_set workers;
    osx_daemon agent(workers.factory());
    EXPECT_TRUE(agent.wait_for_stop(daemon::pusher_slot, 10ms));
    agent.stop();
    EXPECT_FALSE(agent.wait_for_stop(daemon::pusher_slot, 10s));
}

}  // namespace
}  // namespace kes

#include "tests/support/recording_ui.h"

namespace kes {
namespace {

TEST_F(DaemonTest, UiEventHandlerRunsOnItsOwnThreadUntilStop) {
    worker_set workers;
    testing::recording_ui user_interface;
    osx_daemon agent(workers.factory());
    agent.start(&user_interface);
    std::this_thread::sleep_for(20ms);
    const auto started = std::chrono::steady_clock::now();
    agent.stop();  // joins the UI thread too; it must not wait out its 2.5 s first sleep
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

}  // namespace
}  // namespace kes
