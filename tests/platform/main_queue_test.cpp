#include "platform/main_queue.h"
#include "platform/main_thread_call.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override { queue.bind_to_current_thread(); }
    main_queue queue;
};

TEST_F(MainQueueTest, RunsTasksInOrderAndTimersWhenDue) {
    std::vector<int> order;
    queue.async_after(30ms, [&] { order.push_back(3); });
    queue.async([&] { order.push_back(1); });
    queue.async([&] { order.push_back(2); });
    queue.run_pending();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    ASSERT_TRUE(queue.time_to_next_timer().has_value());
    EXPECT_TRUE(queue.serve_until([&] { return order.size() == 3; }, 2s));
    EXPECT_EQ(order.back(), 3);
}

TEST_F(MainQueueTest, SyncRunsOnTheMainThreadAndWaits) {
    std::thread::id ran_on;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        const auto answer = queue.sync_result([&] {
            ran_on = std::this_thread::get_id();
            return std::string("done");
        });
        EXPECT_EQ(answer.value_or(""), "done");
        returned = true;
    });
    EXPECT_TRUE(queue.serve_until([&] { return returned.load(); }, 2s));
    worker.join();
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST_F(MainQueueTest, SyncHandsWhatTheWorkThrowsToTheCaller) {
    auto answer = std::async(std::launch::async, [&] {
        try {
            queue.sync_result([]() -> int { throw std::runtime_error("script failed"); });
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    });
    queue.serve_until([&] { return answer.wait_for(0s) == std::future_status::ready; }, 2s);
    const bool finished = answer.wait_for(0s) == std::future_status::ready;
    if (!finished) queue.close();  // releases a caller that would wait for ever
    ASSERT_TRUE(finished);
    EXPECT_EQ(answer.get(), "script failed");
}

TEST_F(MainQueueTest, SyncIsRefusedOnTheMainThread) {
    bool ran = false;
    EXPECT_FALSE(queue.sync([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

TEST_F(MainQueueTest, CloseReleasesAWaitingWorkerWithNoResult) {
    auto answer = std::async(std::launch::async, [&] { return queue.sync([] {}); });
    std::this_thread::sleep_for(20ms);
    queue.close();
    ASSERT_EQ(answer.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(answer.get());
    EXPECT_FALSE(queue.sync([] {}));  // closed: refused at once
}

TEST_F(MainQueueTest, ATaskNeverStartsInsideAnother) {
    std::vector<std::string> events;
    queue.async([&] {
        events.push_back("outer begins");
        queue.async([&] { events.push_back("inner"); });
        queue.run_pending();  // a modal loop serving the queue must not nest
        events.push_back("outer ends");
    });
    queue.run_pending();
    queue.run_pending();
    EXPECT_EQ(events, (std::vector<std::string>{"outer begins", "outer ends", "inner"}));
}

TEST_F(MainQueueTest, ADrainRefusedInsideATaskWakesTheLoopWhenTheTaskEnds) {
    bool inner_refused = false;
    queue.async([&] {
        queue.async_after(0ms, [] {});
        inner_refused = !queue.run_pending();
    });
    pollfd wake{queue.wake_fd(), POLLIN, 0};
    EXPECT_TRUE(queue.run_pending());
    EXPECT_TRUE(inner_refused);
    // The timer came due while the task held the queue: the loop must be told.
    EXPECT_EQ(::poll(&wake, 1, 0), 1);
}

TEST_F(MainQueueTest, ServeUntilInsideATaskServesTheQueue) {
    // The orderly end may run inside a task (quit from a menu action) while
    // it joins a thread that waits on the main thread.
    std::atomic<bool> worker_done{false};
    bool served = false;
    queue.async([&] {
        std::thread worker([&] {
            queue.sync([] {});
            worker_done = true;
        });
        served = queue.serve_until([&] { return worker_done.load(); }, 10s);
        worker.join();
    });
    queue.run_pending();
    EXPECT_TRUE(served);
}

TEST_F(MainQueueTest, RunServesWatchedDescriptorsAddedWhileItRuns) {
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    std::thread worker([&] {
        queue.watch_fd(pipe_fds[0], [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(pipe_fds[0], &byte, 1);
            queue.quit(byte);
        });
        const char code = 5;
        [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], &code, 1);
    });
    EXPECT_EQ(queue.run(), 5);
    worker.join();
    EXPECT_EQ(queue.watches().size(), 1u);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
}

TEST_F(MainQueueTest, RunEndsOnQuitWithItsCode) {
    queue.async_after(10ms, [&] { queue.quit(7); });
    EXPECT_EQ(queue.run(), 7);
    queue.quit(3);  // the first code stays
    EXPECT_EQ(queue.exit_code(), 7);
}

// The main thread cannot wait for itself: there the work runs at once, where
// a plain `sync` would refuse it; elsewhere it waits for the main thread.
TEST_F(MainQueueTest, MainThreadCallsRunInlineOnTheMainThreadAndWaitElsewhere) {
    EXPECT_EQ(call_on_main_thread(queue, [] { return 4; }), std::optional<int>(4));
    bool posted_ran = false;
    post_to_main_thread(queue, [&] { posted_ran = true; });
    EXPECT_TRUE(posted_ran);

    std::thread::id ran_on;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_EQ(call_on_main_thread(queue, [&] {
                      ran_on = std::this_thread::get_id();
                      return 5;
                  }),
                  std::optional<int>(5));
        returned = true;
    });
    EXPECT_TRUE(queue.serve_until([&] { return returned.load(); }, 2s));
    worker.join();
    EXPECT_EQ(ran_on, std::this_thread::get_id());

    queue.close();
    std::optional<int> after_close = 0;
    std::thread late([&] { after_close = call_on_main_thread(queue, [] { return 6; }); });
    late.join();
    EXPECT_FALSE(after_close.has_value());
}

// Work handed over for an object that is gone by the time the main thread
// gets to it is dropped.
TEST_F(MainQueueTest, WorkPostedWhileAnOwnerLivesIsDroppedOnceItIsGone) {
    auto owner = std::make_shared<int>(0);
    int ran = 0;
    std::thread worker([&] {
        post_to_main_thread_while(queue, std::weak_ptr<int>(owner), [&] { ++ran; });
        post_to_main_thread(queue, [&] { ran += 10; });
    });
    worker.join();
    owner.reset();
    queue.run_pending();
    EXPECT_EQ(ran, 10);
}

}  // namespace
}  // namespace platform
