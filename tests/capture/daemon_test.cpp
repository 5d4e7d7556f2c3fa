#include "core/capture/daemon.h"
#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/text_table.h"
#include "tests/support/bare_daemon.h"
#include "tests/support/eventually.h"
#include "tests/support/recording_ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
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

using testing::eventually;

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
    EXPECT_EQ(daemon::scan_sleep(250), 250ms);
    EXPECT_EQ(daemon::scan_sleep(999), 999ms);
    EXPECT_EQ(daemon::scan_sleep(1500), 1500ms);
    EXPECT_EQ(daemon::scan_sleep(1000), 1000ms);
}

TEST(DaemonIntervals, OnlyAZeroThatWouldSpinSleepsASecond) {
    EXPECT_EQ(daemon::scan_sleep(0), 1000ms);
    EXPECT_EQ(daemon::interval_sleep(0), 1000ms);
    EXPECT_EQ(daemon::interval_sleep(1), 1000ms);
    EXPECT_EQ(daemon::interval_sleep(1800), 1800s);
    EXPECT_EQ(daemon::interval_sleep(0xFFFFFFFFu), std::chrono::seconds(0xFFFFFFFFu));
}

TEST_F(DaemonTest, TenConsecutiveScannerFailuresAreSurvivedAndEachSetsTheFatalStatus) {
    worker_set workers;
    testing::bare_daemon agent(workers.factory());
    workers.scanner->failures_left = 10;
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return workers.scanner->passes.load() >= 12; }));
    EXPECT_TRUE(agent.is_running());
    EXPECT_EQ(config::instance().get_status_message(), get_text(L"status_message_fatal_error"));
    EXPECT_EQ(config::instance().get_status_severity(), 4);
    agent.stop();
}

TEST_F(DaemonTest, EleventhScannerFailureEndsTheScannerAndThePusherAndPullerLoops) {
    config::instance().set_push_interval(0);  // the pusher tests `running` after its shortest sleep
    worker_set workers;
    testing::bare_daemon agent(workers.factory());
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
    testing::bare_daemon agent(workers.factory());
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
    testing::bare_daemon agent(workers.factory());
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
    testing::bare_daemon agent(workers.factory());
    agent.start(nullptr);
    ASSERT_TRUE(eventually([&] { return workers.puller->idle_list_updates.load() == 1; }));
    const auto started = std::chrono::steady_clock::now();
    agent.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_FALSE(agent.is_running());
}

// Zero from a settings file or the service: every loop still sleeps a
// second between its passes. A slow machine only makes the passes fewer.
TEST_F(DaemonTest, ZeroIntervalsDoNotSpinTheLoops) {
    config& settings = config::instance();
    settings.set_scan_interval(0);
    settings.set_push_initial_interval(0);
    settings.set_push_interval(0);
    worker_set workers;
    testing::bare_daemon agent(workers.factory());
    const auto started = std::chrono::steady_clock::now();
    agent.start(nullptr);
    std::this_thread::sleep_for(2500ms);
    const int scans = workers.scanner->passes.load();
    const int pushes = workers.pusher->passes.load();
    const auto whole_seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    agent.stop();
    EXPECT_GE(scans, 1);
    EXPECT_LE(scans, whole_seconds.count() + 1);
    EXPECT_GE(pushes, 1);
    EXPECT_LE(pushes, whole_seconds.count());  // the first after its initial sleep
}

std::set<std::string> threads_of_this_process() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.insert(entry.path().filename().string());
    }
    return ids;
}

TEST_F(DaemonTest, DestroyingAStartedDaemonWithoutStopEndsItsThreads) {
    const std::set<std::string> before = threads_of_this_process();
    std::set<std::string> workers_threads;
    worker_set workers;
    testing::recording_ui user_interface;
    {
        testing::bare_daemon agent(workers.factory());
        agent.start(&user_interface);
        ASSERT_TRUE(eventually([&] {
            workers_threads.clear();
            for (const std::string& id : threads_of_this_process()) {
                if (before.count(id) == 0) workers_threads.insert(id);
            }
            return workers_threads.size() >= 4;
        }));
        ASSERT_TRUE(eventually([&] {
            return workers.scanner->passes.load() >= 1 && workers.puller->idle_list_updates.load() == 1;
        }));
    }  // must neither reach std::terminate nor leave a thread running
    // The logger's conversion of old logs runs on a thread of the logger's,
    // not the daemon's, and may still be busy on a loaded machine.
    logger::get_instance().wait_for_old_log_conversion();
    const std::set<std::string> after = threads_of_this_process();
    for (const std::string& id : workers_threads) EXPECT_EQ(after.count(id), 0u) << "thread " << id << " still runs";
}

TEST_F(DaemonTest, WaitForStopAnswersFalseOnceTheSlotIsStopped) {
    worker_set workers;
    testing::bare_daemon agent(workers.factory());
    EXPECT_TRUE(agent.wait_for_stop(daemon::pusher_slot, 10ms));
    agent.stop();
    EXPECT_FALSE(agent.wait_for_stop(daemon::pusher_slot, 10s));
}

TEST_F(DaemonTest, UiEventHandlerRunsOnItsOwnThreadUntilStop) {
    worker_set workers;
    testing::recording_ui user_interface;
    testing::bare_daemon agent(workers.factory());
    agent.start(&user_interface);
    std::this_thread::sleep_for(20ms);
    const auto started = std::chrono::steady_clock::now();
    agent.stop();  // joins the UI thread too; it must not wait out its 2.5 s first sleep
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

}  // namespace
}  // namespace kes
