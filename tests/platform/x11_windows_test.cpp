// The window session against a real X server: what it keeps from the
// server's events, what a pass costs in round trips, how a window manager
// that names the active window is believed, and a lost connection.
#include "platform/linux/front_application.h"
#include "platform/linux/compound_text.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "platform/linux/x11_traffic.h"
#include "platform/linux/x11_windows.h"
#include "tests/support_desktop/xvfb.h"

#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

using kes::testing::test_windows;
using kes::testing::xvfb_server;
using platform::x11_windows;

class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.running()) {
            if (kes::testing::xvfb_is_required()) FAIL() << "Xvfb is required here (CI is set) but did not start";
            GTEST_SKIP() << "Xvfb is not available";
        }
        windows_ = std::make_unique<test_windows>(server_.display());
        session_ = std::make_unique<x11_windows>(server_.display());
    }

    struct front {
        std::optional<x11_windows::window_id> active;
        std::optional<int> pid;
        std::string wm_class;
        std::string title;
    };

    // One pass as the grabber makes it, asking each question twice; returns
    // what it saw and the round trips it cost.
    front pass(std::uint64_t& round_trips) {
        const std::uint64_t before = platform::x11_round_trips();
        session_->begin_pass();
        front seen;
        for (int repeat = 0; repeat < 2; ++repeat) {
            seen.active = session_->active_window();
            const auto window = seen.active.value_or(0);
            seen.pid = session_->window_pid(window);
            seen.wm_class = session_->window_class(window);
            seen.title = platform::focused_title(*session_, window);
        }
        session_->end_pass();
        round_trips = platform::x11_round_trips() - before;
        return seen;
    }

    // Events reach the session a moment after the change; passes are made
    // until one sees it (or two seconds passed).
    front pass_until(const std::function<bool(const front&)>& seen_it, std::uint64_t& round_trips) {
        front seen;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        do {
            seen = pass(round_trips);
            if (seen_it(seen)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < deadline);
        return seen;
    }

    xvfb_server server_;
    std::unique_ptr<test_windows> windows_;
    std::unique_ptr<x11_windows> session_;
};

TEST_F(X11Windows, QuietPassesAskNothingAndChangesAreSeenAtTheNextPass) {
    const auto first = windows_->create("First", "Firstclass", ::getpid());
    const auto second = windows_->create("Second", "Secondclass", 4242);
    windows_->set_active(first);

    std::uint64_t trips = 0;
    front seen = pass(trips);
    EXPECT_EQ(seen.active, first);
    EXPECT_EQ(seen.pid, ::getpid());
    EXPECT_EQ(seen.wm_class, "Firstclass");
    EXPECT_EQ(seen.title, "First");
    for (int i = 0; i < 3; ++i) {
        seen = pass(trips);
        EXPECT_EQ(trips, 0u) << "nothing changed, nothing is asked";
        EXPECT_EQ(seen.title, "First");
    }

    windows_->set_title(first, "First, renamed");
    seen = pass_until([](const front& f) { return f.title == "First, renamed"; }, trips);
    EXPECT_EQ(seen.title, "First, renamed");
    EXPECT_EQ(trips, 1u) << "only the title is read again";
    EXPECT_EQ(seen.wm_class, "Firstclass");

    windows_->set_active(second);
    seen = pass_until([&](const front& f) { return f.active == second; }, trips);
    EXPECT_EQ(seen.active, second);
    EXPECT_EQ(seen.pid, 4242);
    EXPECT_EQ(seen.wm_class, "Secondclass");
    EXPECT_EQ(seen.title, "Second");
    EXPECT_LE(trips, 2u) << "the active window, then the new window's properties";

    // Back to a window seen before: only the root is read again.
    windows_->set_active(first);
    seen = pass_until([&](const front& f) { return f.active == first; }, trips);
    EXPECT_EQ(seen.title, "First, renamed");
    EXPECT_EQ(trips, 1u);
    pass(trips);
    EXPECT_EQ(trips, 0u);
}

TEST_F(X11Windows, TheTitleIsTheNameTheWindowHasAndOnlyAChangedNameIsReadAgain) {
    const auto window = windows_->create("Modern", "Oneclass", ::getpid(), "Legacy");
    windows_->set_active(window);
    std::uint64_t trips = 0;
    EXPECT_EQ(pass(trips).title, "Modern");

    // WM_NAME is not the title while _NET_WM_NAME is there: nothing to read.
    windows_->set_legacy_name(window, "Legacy renamed");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    front seen = pass(trips);
    EXPECT_EQ(seen.title, "Modern");
    EXPECT_EQ(trips, 0u);

    windows_->remove_title(window);
    seen = pass_until([](const front& f) { return f.title != "Modern"; }, trips);
    EXPECT_EQ(seen.title, "Legacy renamed") << "without _NET_WM_NAME the title is WM_NAME";

    windows_->set_legacy_name(window, "Legacy again");
    seen = pass_until([](const front& f) { return f.title != "Legacy renamed"; }, trips);
    EXPECT_EQ(seen.title, "Legacy again");
    EXPECT_EQ(trips, 1u);

    windows_->set_title(window, "Modern again");
    seen = pass_until([](const front& f) { return f.title != "Legacy again"; }, trips);
    EXPECT_EQ(seen.title, "Modern again");
    EXPECT_EQ(trips, 1u);
}

TEST_F(X11Windows, AnswersOutsideAPassSeeEveryChangeMadeBeforeTheQuestion) {
    const auto window = windows_->create("Before", "Oneclass", ::getpid());
    windows_->set_active(window);
    EXPECT_EQ(session_->window_title(window), "Before");
    for (int i = 0; i < 20; ++i) {
        const std::string title = "Title " + std::to_string(i);
        windows_->set_title(window, title);
        ASSERT_EQ(session_->window_title(window), title);
    }
}

TEST_F(X11Windows, AWindowThatWentAwayTellsNothingEvenWhileStillNamedActive) {
    const auto window = windows_->create("Doomed", "Doomedclass", ::getpid());
    windows_->set_active(window);
    std::uint64_t trips = 0;
    ASSERT_EQ(pass(trips).title, "Doomed");
    windows_->destroy(window);  // _NET_ACTIVE_WINDOW still names it, as managers leave it
    const front seen = pass_until([](const front& f) { return !f.pid; }, trips);
    EXPECT_EQ(seen.active, window);
    EXPECT_FALSE(seen.pid);
    EXPECT_EQ(seen.wm_class, "");
    EXPECT_EQ(seen.title, "");
}

// A client that ends frees its id range, and the server hands it to the next
// client that connects: a program closed and started again very often gets
// its old window's id.
TEST_F(X11Windows, AWindowGivenTheIdOfAClosedOneIsReadAfresh) {
    auto first_program = std::make_unique<test_windows>(server_.display());
    const auto window = first_program->create("victim 1", "XTerm", 1111);
    windows_->set_active(window);
    std::uint64_t trips = 0;
    ASSERT_EQ(pass(trips).pid, 1111);

    first_program.reset();
    windows_->wait_until_gone(window);
    front seen = pass_until([](const front& f) { return !f.pid; }, trips);
    EXPECT_EQ(seen.title, "") << "gone, though still named active";

    auto second_program = std::make_unique<test_windows>(server_.display());
    ASSERT_EQ(second_program->create("victim 2", "XTerm", 2222), window) << "the closed client's id range";
    windows_->set_active(window);
    seen = pass_until([](const front& f) { return f.pid == 2222; }, trips);
    EXPECT_EQ(seen.pid, 2222) << "a window found gone is so for its pass only";
    EXPECT_EQ(seen.title, "victim 2");
    pass(trips);
    EXPECT_EQ(trips, 0u) << "the new window is watched: a quiet pass asks nothing";

    second_program.reset();
    windows_->wait_until_gone(window);
    auto third_program = std::make_unique<test_windows>(server_.display());
    ASSERT_EQ(third_program->create("victim 3", "XTerm", 3333), window);
    windows_->set_active(window);
    seen = pass_until([](const front& f) { return f.pid == 3333; }, trips);
    EXPECT_EQ(seen.title, "victim 3") << "a window that ended while watched is forgotten too";
}

// The end of a window the session watches may come in with the very reply
// that names the window now holding its id, in the middle of a pass.
TEST_F(X11Windows, AnEndThatArrivesWithTheReplyNamingTheIdsNewWindowIsTakenInFirst) {
    const auto other = windows_->create("other", "Otherclass", 4242);
    auto first_program = std::make_unique<test_windows>(server_.display());
    const auto window = first_program->create("victim 1", "XTerm", 1111);
    windows_->set_active(window);
    std::uint64_t trips = 0;
    ASSERT_EQ(pass(trips).pid, 1111);
    windows_->set_active(other);
    ASSERT_EQ(pass_until([&](const front& f) { return f.active == other; }, trips).pid, 4242);

    // The pass begins knowing the active window changed, before it knows why.
    windows_->set_active(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    session_->begin_pass();
    first_program.reset();
    windows_->wait_until_gone(window);
    auto second_program = std::make_unique<test_windows>(server_.display());
    ASSERT_EQ(second_program->create("victim 2", "XTerm", 2222), window);
    windows_->set_active(window);

    EXPECT_EQ(session_->active_window(), window);
    EXPECT_EQ(session_->window_pid(window), 2222);
    EXPECT_EQ(platform::focused_title(*session_, window), "victim 2");
    session_->end_pass();
}

TEST_F(X11Windows, AWindowManagerThatNamesTheActiveWindowIsBelievedWhenItNamesNone) {
    const auto window = windows_->create("Focused", "Focusclass", ::getpid());
    windows_->remove_active();
    windows_->focus(window);
    using platform::front_window_source;
    EXPECT_EQ(platform::front_window(*session_, front_window_source::active_or_input_focus), window)
        << "a bare server: the input focus tells";

    windows_->act_as_window_manager();
    EXPECT_TRUE(session_->window_manager_names_active_window());
    EXPECT_EQ(platform::front_window(*session_, front_window_source::active_or_input_focus), 0u)
        << "no active window named yet: nothing in front";
    windows_->set_active(0);
    EXPECT_EQ(platform::front_window(*session_, front_window_source::active_or_input_focus), 0u);

    // A manager that ended leaves _NET_SUPPORTED behind; its check window is gone.
    windows_->remove_active();
    windows_->end_window_manager();
    EXPECT_FALSE(session_->window_manager_names_active_window());
    EXPECT_EQ(platform::front_window(*session_, front_window_source::active_or_input_focus), window);
}

TEST_F(X11Windows, ALostConnectionIsNeverUsedAgainAndAnnouncedOnce) {
    const auto window = windows_->create("Before", "Before", ::getpid());
    windows_->set_active(window);
    std::atomic<int> announced{0};
    const auto observation = platform::notification_center::default_center().add_observer(
        platform::display_connection_lost_notice, [&](const platform::user_info&) { ++announced; });
    std::uint64_t trips = 0;
    ASSERT_EQ(pass(trips).title, "Before");
    EXPECT_EQ(announced.load(), 0);
    windows_.reset();
    server_.kill_now();
    // A pass reads the socket once: the events sent before the end may take
    // that read, and the end is then seen at the next.
    pass(trips);
    pass(trips);
    EXPECT_TRUE(session_->lost());
    EXPECT_FALSE(platform::main_queue::instance().quit_requested()) << "the session decides nothing";
    for (int i = 0; i < 3; ++i) {
        const front seen = pass(trips);
        EXPECT_EQ(trips, 0u) << "nothing is sent on a lost connection";
        EXPECT_FALSE(seen.active);
        EXPECT_EQ(seen.title, "");
    }
    EXPECT_EQ(announced.load(), 1);
    EXPECT_FALSE(session_->connected());
    EXPECT_EQ(session_->input_focus_window(), 0u);
}

TEST(CompoundText, UsualFormsBecomeUtf8AndOthersAreLeftToTheCaller) {
    using platform::compound_text_to_utf8;
    EXPECT_EQ(compound_text_to_utf8("Caf\xe9 menu"), "Caf\u00e9 menu");
    EXPECT_EQ(compound_text_to_utf8("\x1b(B" "abc\x1b-A\xe9\tx"), "abc\u00e9\tx");
    EXPECT_EQ(compound_text_to_utf8("a\x1b%G\xe4\xb8\xad\xe6\x96\x87\x1b%@b"), "a\u4e2d\u6587b");
    EXPECT_EQ(compound_text_to_utf8(std::string("first\0second", 12)), "first");
    EXPECT_EQ(compound_text_to_utf8("\x1b$(B\x30\x21"), std::nullopt) << "another character set";
    EXPECT_EQ(compound_text_to_utf8("\x9b" "2]x"), std::nullopt) << "a direction sequence";
    EXPECT_EQ(platform::latin1_to_utf8("\xe9t\xe9"), "\u00e9t\u00e9");
}

}  // namespace
