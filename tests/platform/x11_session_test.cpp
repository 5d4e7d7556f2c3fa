// Idle time and display state from a real X server (Xvfb), kept by one
// long-lived session the way the agent keeps it, against what the server
// itself answers through libXss; real input comes from xdotool and the
// screen saver is switched by xset.
#include "platform/linux/x11_session.h"
#include "platform/linux/x11_traffic.h"
#include "tests/support/eventually.h"
#include "tests/support/run_program.h"
#include "tests/support_desktop/xvfb.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

using kes::testing::xvfb_server;
using platform::display_power;
using namespace std::chrono_literals;

// The server's own count, through a connection and a library of its own.
class server_view {
public:
    explicit server_view(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
    ~server_view() {
        if (display_) XCloseDisplay(display_);
    }
    server_view(const server_view&) = delete;
    server_view& operator=(const server_view&) = delete;

    double idle_seconds() const {
        XScreenSaverInfo info{};
        XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), &info);
        return static_cast<double>(info.idle) / 1000.0;
    }

private:
    Display* display_;
};

// The session's idle time with the server's own count read just before and
// just after it.
struct bracketed {
    double before, ours, after;
};

class X11Session : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& server_arguments = {}, bool keep_from_reports = true) {
        server_ = std::make_unique<xvfb_server>(server_arguments);
        if (!server_->running()) {
            if (kes::testing::xvfb_is_required()) FAIL() << "Xvfb is required here (CI is set) but did not start";
            GTEST_SKIP() << "Xvfb is not available";
        }
        view_ = std::make_unique<server_view>(server_->display());
        session_ = platform::open_x11_session(server_->display(), keep_from_reports);
    }

    void run(const std::vector<std::string>& command) {
        std::vector<std::string> argv = {"/usr/bin/env", "DISPLAY=" + server_->display()};
        argv.insert(argv.end(), command.begin(), command.end());
        ASSERT_EQ(kes::testing::run_program(argv).exit_code, 0) << command.front();
    }
    void input() { run({"/usr/bin/xdotool", "mousemove_relative", "--", "1", "0"}); }

    // The session's sample and the round trips it cost.
    platform::x11_sample sample(std::uint64_t& round_trips) {
        const std::uint64_t before = platform::x11_round_trips();
        const platform::x11_sample seen = session_->sample();
        round_trips = platform::x11_round_trips() - before;
        return seen;
    }

    // However long the machine keeps this thread waiting in between, an
    // answer that agrees with the server lies inside the bracket.
    bracketed sample_between_server_counts(std::uint64_t& round_trips) {
        const double before = view_->idle_seconds();
        const std::optional<double> ours = sample(round_trips).idle_seconds;
        const double after = view_->idle_seconds();
        EXPECT_TRUE(ours);
        return {before, ours.value_or(-1.0), after};
    }

    std::unique_ptr<xvfb_server> server_;
    std::unique_ptr<server_view> view_;
    std::shared_ptr<platform::x11_session> session_;
};

// The server counts in milliseconds; ours may round the other way.
constexpr double same_count = 0.002;

void expect_agrees_with_server(const bracketed& seen) {
    EXPECT_GE(seen.ours, seen.before - same_count);
    EXPECT_LE(seen.ours, seen.after + same_count);
}

TEST_F(X11Session, IdleTimeIsTheServersOwnCountWithoutAskingIt) {
    start();
    if (HasFatalFailure() || IsSkipped()) return;
    std::uint64_t trips = 0;
    input();
    ASSERT_TRUE(sample(trips).idle_seconds);

    std::this_thread::sleep_for(1300ms);
    bracketed seen = sample_between_server_counts(trips);
    expect_agrees_with_server(seen);
    EXPECT_GE(seen.ours, 1.0);
    EXPECT_EQ(trips, 0u) << "kept from the server's alarms";

    // Input after a quiet second is under a second at once, and stays so
    // while the input goes on.
    input();
    ASSERT_TRUE(kes::testing::eventually([&] { return *sample(trips).idle_seconds < 1.0; }, 2s));
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(300ms);
        input();
        seen = sample_between_server_counts(trips);
        if (seen.after < 1.0) EXPECT_LT(seen.ours, 1.0);
        EXPECT_EQ(trips, 0u);
    }

    // A quiet second later the count is exact again, and grows with the clock.
    std::this_thread::sleep_for(1200ms);
    const bracketed first = sample_between_server_counts(trips);
    expect_agrees_with_server(first);
    EXPECT_GE(first.ours, 1.0);
    std::this_thread::sleep_for(700ms);
    const bracketed later = sample_between_server_counts(trips);
    expect_agrees_with_server(later);
    EXPECT_GE(later.ours - first.ours, 0.7 - same_count);
    EXPECT_EQ(trips, 0u);
}

TEST_F(X11Session, EveryAnswerOnEitherSideOfOneSecondAgreesWithTheServer) {
    start();
    if (HasFatalFailure() || IsSkipped()) return;
    std::uint64_t trips = 0;
    ASSERT_TRUE(sample(trips).idle_seconds);
    // Input at uneven gaps around one second; after each, answers are
    // compared on the side of one second and, above it, to the millisecond.
    for (const auto gap : {400ms, 1100ms, 900ms, 1500ms, 200ms, 1050ms}) {
        input();
        const auto until = std::chrono::steady_clock::now() + gap;
        while (std::chrono::steady_clock::now() < until) {
            const bracketed seen = sample_between_server_counts(trips);
            if (seen.before >= 1.0 && seen.after >= 1.0) expect_agrees_with_server(seen);
            if (seen.before < 1.0 && seen.after < 1.0) EXPECT_LT(seen.ours, 1.0);
            std::this_thread::sleep_for(50ms);
        }
    }
}

TEST_F(X11Session, TheScreenSaverIsFollowedFromItsNotices) {
    start();
    if (HasFatalFailure() || IsSkipped()) return;
    std::uint64_t trips = 0;
    EXPECT_EQ(sample(trips).display, display_power::on);
    run({"/usr/bin/xset", "s", "activate"});
    EXPECT_TRUE(kes::testing::eventually([&] { return sample(trips).display == display_power::off; }, 2s));
    EXPECT_EQ(trips, 0u);
    EXPECT_EQ(session_->display_state(), display_power::off);
    run({"/usr/bin/xset", "s", "reset"});
    EXPECT_TRUE(kes::testing::eventually([&] { return sample(trips).display == display_power::on; }, 2s));
    EXPECT_EQ(trips, 0u);
    // Input ends a saver started by the server itself.
    run({"/usr/bin/xset", "s", "1"});
    EXPECT_TRUE(kes::testing::eventually([&] { return sample(trips).display == display_power::off; }, 4s));
    input();
    EXPECT_TRUE(kes::testing::eventually([&] { return sample(trips).display == display_power::on; }, 2s));
}

// As on a server without the idle counter or on another machine's clock.
TEST_F(X11Session, WithoutTheReportsEachQuestionAsksTheServer) {
    start({}, false);
    if (HasFatalFailure() || IsSkipped()) return;
    std::uint64_t trips = 0;
    input();
    ASSERT_TRUE(sample(trips).idle_seconds);
    std::this_thread::sleep_for(300ms);
    const bracketed seen = sample_between_server_counts(trips);
    expect_agrees_with_server(seen);
    EXPECT_EQ(trips, 1u);
    EXPECT_EQ(sample(trips).display, display_power::on);
    run({"/usr/bin/xset", "s", "activate"});
    EXPECT_EQ(session_->display_state(), display_power::off);
    run({"/usr/bin/xset", "s", "reset"});
    EXPECT_EQ(session_->display_state(), display_power::on);
}

TEST_F(X11Session, WithoutTheScreenSaverIdleTimeStillComesAndTheDisplayIsUnknown) {
    start({"-extension", "MIT-SCREEN-SAVER"});
    if (HasFatalFailure() || IsSkipped()) return;
    std::uint64_t trips = 0;
    input();
    ASSERT_TRUE(sample(trips).idle_seconds);
    std::this_thread::sleep_for(1100ms);
    const platform::x11_sample seen = sample(trips);
    ASSERT_TRUE(seen.idle_seconds);
    EXPECT_GE(*seen.idle_seconds, 1.0);
    EXPECT_LT(*seen.idle_seconds, 3.0);
    EXPECT_EQ(seen.display, display_power::unknown);
    EXPECT_EQ(trips, 0u);
}

TEST_F(X11Session, AServerThatWentAwayAnswersNothing) {
    start();
    if (HasFatalFailure() || IsSkipped()) return;
    std::uint64_t trips = 0;
    ASSERT_TRUE(sample(trips).idle_seconds);
    view_.reset();
    server_->kill_now();
    const platform::x11_sample seen = sample(trips);
    EXPECT_FALSE(seen.idle_seconds);
    EXPECT_EQ(seen.display, display_power::unknown);
    EXPECT_FALSE(session_->idle_seconds());
}

TEST(X11SessionWithoutDisplay, AnswersNothing) {
    const auto session = platform::open_x11_session(":4095");
    EXPECT_FALSE(session->idle_seconds());
    EXPECT_EQ(session->display_state(), display_power::unknown);
}

}  // namespace
