#include "platform/qt/alert_dialog.h"
#include "platform/qt/qt_alert_presenter.h"
#include "platform/qt/qt_application.h"
#include "tests/support_qt/alert_driver.h"
#include "tests/support_qt/qt_test_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace platform {
namespace {

using namespace std::chrono_literals;
using testing::alert_driver;
using testing::click;

alert message_alert(const std::string& text) {
    alert request;
    request.message = text;
    request.informative_text = "informative " + text;
    return request;
}

class QtMainLoop : public testing::QtLoopTest {
protected:
    // Holds a modal loop open in a main-queue task (the agent opens none, but
    // the queue must never nest); from inside it a worker starts `worker_body`. Once the worker runs and the alert stayed
    // up `polls` more polls, `while_held` runs and the alert is answered. The
    // loop runs until something quits it.
    void run_alert_holding_a_worker(const std::function<void()>& worker_body, int polls,
                                    const std::function<void()>& while_held) {
        std::atomic<bool> started{false};
        std::thread worker;
        int polls_seen = 0;
        alert_driver driver([&](alert_dialog& dialog) {
            if (!worker.joinable()) {
                worker = std::thread([&] {
                    started = true;
                    worker_body();
                });
                return false;
            }
            if (!started || ++polls_seen < polls) return false;
            while_held();
            click(dialog, 0);
            return true;
        });
        queue.async([&] {
            events.push_back("alert shown");
            testing::run_modal(message_alert("held"));
            events.push_back("alert returned");
        });
        EXPECT_EQ(loop.run(), 0);
        worker.join();
    }

    std::shared_ptr<qt_alert_presenter> shared_alerts = std::make_shared<qt_alert_presenter>();
    qt_alert_presenter& alerts = *shared_alerts;
    std::vector<std::string> events;  // main thread only
};

TEST_F(QtMainLoop, ServesTasksDescriptorsAndTimersInOrderInsideTheToolkitLoop) {
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    queue.async([&] {
        events.push_back("task 1");
        // Watched while the loop runs already.
        queue.watch_fd(pipe_fds[0], [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(pipe_fds[0], &byte, 1);
            events.push_back("descriptor");
            queue.async_after(30ms, [&] {
                events.push_back("timer");
                queue.quit(6);
            });
        });
    });
    queue.async([&] {
        events.push_back("task 2");
        QTimer::singleShot(0, [&] {
            events.push_back("toolkit event");
            [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], "x", 1);
        });
    });
    EXPECT_EQ(loop.run(), 6);
    EXPECT_EQ(events, (std::vector<std::string>{"task 1", "task 2", "toolkit event", "descriptor", "timer"}));
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
}

TEST_F(QtMainLoop, AQuitAskedBeforeTheLoopStartsEndsItAtOnce) {
    queue.quit(3);
    EXPECT_EQ(loop.run(), 3);
}

TEST_F(QtMainLoop, TwoAlertsQueuedFromAWorkerShowOneAfterTheOtherWithoutHoldingTheQueue) {
    std::atomic<bool> first_shown{false};
    std::atomic<bool> second_queued{false};
    alert_driver driver([&](alert_dialog& dialog) {
        const std::string message = dialog.message->text().toStdString();
        if (message == "first") {
            first_shown = true;
            if (!second_queued) return false;  // keep it open until the second waits behind it
        }
        events.push_back("answer " + message);
        click(dialog, 0);
        return true;
    });
    auto show = [&](const std::string& name) {
        queue.async([&, name] {
            events.push_back("show " + name);
            alerts.show(message_alert(name), [&, name](const alert_response& response) {
                events.push_back("answered " + name + " " + std::to_string(response.code));
                if (name == "second") queue.quit(0);
            });
        });
    };
    std::thread worker([&] {
        show("first");
        while (!first_shown) std::this_thread::sleep_for(1ms);
        show("second");
        // The first alert is still up: the queue serves this task all the same.
        queue.sync([&] { events.push_back("task while first is up"); });
        second_queued = true;
    });
    EXPECT_EQ(loop.run(), 0);
    worker.join();
    EXPECT_EQ(events, (std::vector<std::string>{"show first", "show second", "task while first is up", "answer first",
                                                "answered first 1000", "answer second", "answered second 1000"}));
    EXPECT_EQ(driver.most_shown_at_once(), 1);
}

TEST_F(QtMainLoop, SyncFromAWorkerReturnsOnlyAfterTheModalAlertEnds) {
    std::atomic<bool> worker_returned{false};
    bool returned_while_alert_was_up = true;
    // Forty polls give a wrongly nested drain every chance to run the worker's task.
    run_alert_holding_a_worker(
        [&] {
            queue.sync([&] { events.push_back("sync task"); });
            worker_returned = true;
            queue.quit(0);
        },
        40, [&] { returned_while_alert_was_up = worker_returned; });
    EXPECT_FALSE(returned_while_alert_was_up);
    EXPECT_TRUE(worker_returned);
    EXPECT_EQ(events, (std::vector<std::string>{"alert shown", "alert returned", "sync task"}));
}

TEST_F(QtMainLoop, ClosingTheQueueReleasesAWorkerWaitingBehindAModalAlert) {
    using clock = std::chrono::steady_clock;
    std::atomic<bool> sync_answer{true};
    std::atomic<clock::rep> released_at{0};
    clock::time_point closed_at;
    run_alert_holding_a_worker(
        [&] {
            sync_answer = queue.sync([] {});
            released_at = clock::now().time_since_epoch().count();
        },
        10,
        [&] {
            closed_at = clock::now();
            queue.close();
            queue.quit(0);
        });
    EXPECT_FALSE(sync_answer);
    const auto waited = clock::time_point(clock::duration(released_at.load())) - closed_at;
    const auto waited_ms = std::chrono::duration<double, std::milli>(waited).count();
    std::printf("close() released the waiting worker after %.3f ms\n", waited_ms);
    EXPECT_LT(waited_ms, 5000.0);  // typically well under a millisecond
}

TEST_F(QtMainLoop, TimersDueDuringAModalAlertRunAfterIt) {
    int polls = 0;
    alert_driver driver([&](alert_dialog& dialog) {
        if (polls++ == 0) {
            std::thread([&] { queue.async_after(0ms, [&] {
                events.push_back("timer");
                queue.quit(0);
            }); }).join();
        }
        if (polls < 30) return false;
        click(dialog, 0);
        return true;
    });
    queue.async([&] {
        testing::run_modal(message_alert("held"));
        events.push_back("alert returned");
    });
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"alert returned", "timer"}));
}

TEST_F(QtMainLoop, AnOrderlyEndInsideATaskServesTheWorkersItJoins) {
    // Quit from a menu action ends the agent inside the toolkit's loop: the
    // threads it joins may wait on the main thread themselves.
    bool joined_in_time = false;
    queue.async([&] {
        std::atomic<bool> stopped{false};
        std::thread worker([&] {
            queue.sync([&] { events.push_back("worker's last task"); });
            stopped = true;
        });
        joined_in_time = queue.serve_until([&] { return stopped.load(); }, 20s);
        worker.join();
        events.push_back("joined");
        queue.quit(0);
    });
    EXPECT_EQ(loop.run(), 0);
    EXPECT_TRUE(joined_in_time);
    EXPECT_EQ(events, (std::vector<std::string>{"worker's last task", "joined"}));
}

TEST_F(QtMainLoop, AnAlertAskedFromAWorkerRunsOnTheMainThreadAndAnswersTheWorker) {
    alert_driver driver([&](alert_dialog& dialog) {
        QTest::keyClicks(dialog.field, "42");
        click(dialog, 0);
        return true;
    });
    alert_response answer;
    std::thread worker([&] {
        alert request = message_alert("from a worker");
        request.field = alert::text_field{};
        answer = wait_for_answer(shared_alerts, queue, request);
        queue.quit(0);
    });
    EXPECT_EQ(loop.run(), 0);
    worker.join();
    EXPECT_EQ(answer.code, alert_first_button);
    EXPECT_EQ(answer.field_text, "42");
    EXPECT_EQ(driver.messages_seen(), std::vector<std::string>{"from a worker"});

    queue.close();
    EXPECT_EQ(std::async(std::launch::async, [&] { return wait_for_answer(shared_alerts, queue, message_alert("late")).code; })
                  .get(),
              alert_no_answer);
}

TEST_F(QtMainLoop, ATerminationWhileAnAlertIsUpEndsTheLoopAndTheAlertsEndWithTheirPresenter) {
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    queue.watch_fd(pipe_fds[0], [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(pipe_fds[0], &byte, 1);
        queue.quit(4);
    });
    alert_driver driver([&](alert_dialog&) {
        [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], "t", 1);  // as SIGTERM arrives
        return true;
    });
    std::vector<int> codes;
    auto presenter = std::make_unique<qt_alert_presenter>();
    for (const char* name : {"open", "queued behind"}) {
        presenter->show(message_alert(name), [&](const alert_response& answer) { codes.push_back(answer.code); });
    }
    EXPECT_EQ(loop.run(), 4);
    EXPECT_TRUE(codes.empty());  // nobody answered
    presenter.reset();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(dynamic_cast<alert_dialog*>(widget) && widget->isVisible());
    }
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
}

TEST(ToolkitPlatform, OffscreenOnlyWhenNothingNamesAPlatformAndNoDisplayAnswers) {
    EXPECT_EQ(choose_toolkit_platform("", false), "offscreen");
    EXPECT_EQ(choose_toolkit_platform("", true), "");
    EXPECT_EQ(choose_toolkit_platform("offscreen", false), "");
    EXPECT_EQ(choose_toolkit_platform("xcb", true), "");
    // A Wayland session: through Xwayland while it answers; a named platform still wins.
    EXPECT_EQ(choose_toolkit_platform("", true, true), "xcb");
    EXPECT_EQ(choose_toolkit_platform("", false, true), "offscreen");
    EXPECT_EQ(choose_toolkit_platform("wayland", true, true), "");
}

TEST(QtApplicationObject, OnlyOneMayExist) {
    main_queue queue;
    queue.bind_to_current_thread();
    EXPECT_THROW(qt_application{queue}, std::logic_error);
}

}  // namespace
}  // namespace platform
