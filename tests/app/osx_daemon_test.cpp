#include "core/foundation/config.h"
#include "app/orderly_end.h"
#include "app/osx_daemon.h"
#include "platform/main_queue.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace kes {
namespace {

using namespace std::chrono_literals;

daemon_workers idle_workers() {
    daemon_workers workers;
    workers.scanner = std::make_unique<scanner>();
    workers.pusher = std::make_unique<pusher>();
    workers.puller = std::make_unique<puller>();
    return workers;
}

std::string write_key_file(const std::string& name, const std::string& content) {
    const std::string path = testing::private_home() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

TEST(ProvisionedAccountKey, TakesTheKeyWithoutItsFinalLineEndAndEnablesTheInterface) {
    config& settings = config::instance();
    settings.set_disable_gui(true);
    osx_daemon agent(idle_workers);
    agent.load_provisioned_account_key(write_key_file("key_newline", "abc-\xC3\xA9-123\r\n"));
    EXPECT_EQ(settings.get_account_key(), L"abc-\u00e9-123");
    EXPECT_FALSE(settings.get_disable_gui());
    agent.stop();
}

TEST(ProvisionedAccountKey, MissingOrInvalidFileChangesNothing) {
    config& settings = config::instance();
    settings.set_account_key(L"kept");
    settings.set_disable_gui(true);
    osx_daemon agent(idle_workers);
    agent.load_provisioned_account_key(testing::private_home() + "/no_such_file");
    agent.load_provisioned_account_key(write_key_file("key_invalid", "bad \xC3\x28 key"));
    EXPECT_EQ(settings.get_account_key(), L"kept");
    EXPECT_TRUE(settings.get_disable_gui());
    agent.stop();
}

// A scanner whose every pass hands work to the main thread and waits for it.
struct main_thread_scanner : scanner {
    platform::main_queue* queue = nullptr;
    std::atomic<bool> in_pass{false};
    std::atomic<int> served{0};
    std::atomic<bool> released{false};
    void scan() override {
        in_pass = true;
        if (queue->sync([this] { ++served; })) return;
        released = true;  // the queue was closed under it
    }
};

class OrderlyEnd : public ::testing::Test {
protected:
    void SetUp() override {
        queue_.bind_to_current_thread();
        config::instance().set_scan_interval(100);
    }

    // Starts a daemon and returns once its scanner waits on the main thread.
    std::unique_ptr<osx_daemon> start_with_waiting_scanner() {
        auto agent = std::make_unique<osx_daemon>([this] {
            daemon_workers workers = idle_workers();
            auto s = std::make_unique<main_thread_scanner>();
            s->queue = &queue_;
            scanner_ = s.get();
            workers.scanner = std::move(s);
            return workers;
        });
        agent->start(nullptr);
        while (!scanner_->in_pass.load()) std::this_thread::sleep_for(1ms);
        return agent;
    }

    platform::main_queue queue_;
    main_thread_scanner* scanner_ = nullptr;
};

TEST_F(OrderlyEnd, StoppingServesAWorkerWaitingOnTheMainThread) {
    const auto agent = start_with_waiting_scanner();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(stop_daemon_serving_main_queue(*agent, queue_, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_GE(scanner_->served.load(), 1);
    EXPECT_FALSE(scanner_->released.load());
}

// A main thread that cannot serve in time closes the queue, which releases
// the waiting worker: the end still comes, within the grace period.
TEST_F(OrderlyEnd, ClosingTheQueueReleasesAWorkerAfterTheGracePeriod) {
    const auto agent = start_with_waiting_scanner();
    // The main thread is busy elsewhere: nothing serves the queue during the grace.
    EXPECT_FALSE(stop_daemon_serving_main_queue(*agent, queue_, 0ms));
    EXPECT_TRUE(scanner_->released.load());
    EXPECT_EQ(scanner_->served.load(), 0);
}

}  // namespace
}  // namespace kes
