// The UI event-handler loop with the recording UI and a clock that only its
// own sleeps move: timing, failures, the order of its steps, and when it
// calls the platform.
#include "core/foundation/time_util.h"
#include "core/foundation/text_table.h"
#include "tests/ui/ui_fixture.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace kes {
namespace {

using boost::posix_time::hours;
using boost::posix_time::milliseconds;
using boost::posix_time::minutes;
using boost::posix_time::seconds;
using std::chrono_literals::operator""ms;

class UiEventLoopTest : public testing::UiTest {};

TEST_F(UiEventLoopTest, TheFirstPassComesAfterTwoAndAHalfSecondsThenTwoASecond) {
    const ptime started = now();
    stop_after_ = 21;  // the first sleep, then twenty passes
    ui_.event_handler();
    ASSERT_EQ(waits_.size(), 21u);
    EXPECT_EQ(waits_.front(), 2500ms);
    EXPECT_TRUE(std::all_of(waits_.begin() + 1, waits_.end(), [](auto wait) { return wait == 500ms; }));
    // The first pass's heartbeat is 2.5 s after the start.
    EXPECT_EQ(heartbeats_[1], started + milliseconds(2500));
    EXPECT_EQ(heartbeats_[2], started + milliseconds(3000));
    // Twenty passes in the ten seconds after the first.
    EXPECT_EQ(settings().get_last_event_time(), started + milliseconds(2500 + 19 * 500));
}

TEST_F(UiEventLoopTest, AStopDuringTheFirstSleepRunsNoPass) {
    const std::size_t before = testing::log_size();
    stop_after_ = 1;
    ui_.event_handler();
    EXPECT_EQ(ui_.call_count(), 0u);
    std::vector<std::wstring> messages = testing::messages_since(before);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[2].rfind(L"[ui::event_handler] UI thread id is: 0x", 0), 0u);
    messages.erase(messages.begin() + 2);
    EXPECT_EQ(messages, (std::vector<std::wstring>{L"[ui::event_handler]Starting", L"[ui::event_handler] Thread starting ",
                                                   L"[ui:event_handler]before first run sleep",
                                                   L"[ui:event_handler] Thread stopping "}));
}

TEST_F(UiEventLoopTest, TenFailedPassesInARowSurviveAndRunAgainAtOnce) {
    stop_after_ = 3;
    ui_.fail_next_passes(10);
    const std::size_t before = testing::log_size();
    ui_.event_handler();
    // The failures slept nothing: the first sleep, then the passes after them.
    EXPECT_EQ(waits_, (std::vector<std::chrono::milliseconds>{2500ms, 500ms, 500ms}));
    const auto messages = testing::messages_since(before);
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         L"[ui:event_handler] Caught std::exception: the icon cannot be read"),
              10);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), L"[ui:event_handler] Error count too high, stopping thread."),
              0);
    EXPECT_EQ(messages.back(), L"[ui:event_handler] Thread stopping ");
}

TEST_F(UiEventLoopTest, TheEleventhFailureInARowEndsTheThreadWithItsLine) {
    stop_after_ = 100;
    ui_.fail_next_passes(11, false);
    const std::size_t before = testing::log_size();
    ui_.event_handler();
    EXPECT_EQ(waits_, std::vector<std::chrono::milliseconds>{2500ms});
    std::vector<testing::log_line> errors;
    for (const auto& line : testing::log_lines_since(before)) {
        if (line.level == 1) errors.push_back(line);
    }
    ASSERT_EQ(errors.size(), 12u);
    EXPECT_EQ(errors[0].message, L"[ui:event_handler] Caught unknown exception!");
    EXPECT_EQ(errors[11].message, L"[ui:event_handler] Error count too high, stopping thread.");
    EXPECT_EQ(testing::messages_since(before).back(), L"[ui:event_handler] Thread stopping ");
}

TEST_F(UiEventLoopTest, AGoodPassStartsTheFailureCountAgain) {
    // Ten failures, a good pass, then ten failures more: the thread goes on.
    std::vector<std::chrono::milliseconds> waits;
    testing::recording_ui* running = nullptr;
    ui::seams with;
    with.platform_system = idle_system_;
    with.wait_for_stop = [&](std::chrono::milliseconds duration) {
        waits.push_back(duration);
        if (waits.size() == 2) running->fail_next_passes(10);  // right after the first good pass
        return waits.size() < 3;
    };
    testing::recording_ui user_interface(with);
    running = &user_interface;
    user_interface.fail_next_passes(10);
    const std::size_t before = testing::log_size();
    user_interface.event_handler();
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{2500ms, 500ms, 500ms}));
    const auto messages = testing::messages_since(before);
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         L"[ui:event_handler] Caught std::exception: the icon cannot be read"),
              20);
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         L"[ui:event_handler] Error count too high, stopping thread."),
              0);
}

TEST_F(UiEventLoopTest, APassRunsItsStepsInOrderAfterTheHeartbeat) {
    const std::size_t before = testing::log_size();
    ui_.run_event_pass();
    std::vector<std::wstring> steps;
    for (const auto& message : testing::messages_since(before)) {
        if (message.rfind(L"[ui:event_handler]before ", 0) == 0) steps.push_back(message.substr(25));
    }
    EXPECT_EQ(steps, (std::vector<std::wstring>{L"display_tray_icon", L"set_ui_state", L"set_menu_item_state",
                                                L"update_status_text", L"display_offline_time", L"display_alerts",
                                                L"check_unpause_alert", L"display_survey", L"display_still_zone",
                                                L"refresh_troubleshooting", L"check_for_updates",
                                                L"refresh_help_info"}));
    EXPECT_EQ(settings().get_last_event_time(), now());
}

TEST_F(UiEventLoopTest, UntilTheGuiHasLoadedOnlyTheHeartbeatMoves) {
    settings().set_gui_loaded(false);
    settings().push_status_message(L"waiting alert");
    const std::size_t before = testing::log_size();
    ui_.run_event_pass();
    EXPECT_EQ(settings().get_last_event_time(), now());
    EXPECT_EQ(ui_.call_count(), 0u);
    EXPECT_EQ(testing::log_lines_since(before),
              (std::vector<testing::log_line>{
                  {1, L"[ui::event_handler] UI has not been initialized, skipping UI events"}}));
    std::wstring still_queued;
    settings().pop_status_message(still_queued);
    EXPECT_EQ(still_queued, L"waiting alert");
}

TEST_F(UiEventLoopTest, APassInWhichNothingChangedCallsNothing) {
    sign_in();
    passes(2);
    const std::size_t calls = ui_.call_count();
    const int shows = ui_.menu().show_count();
    ASSERT_GT(calls, 0u);
    ASSERT_EQ(shows, 1);
    passes(5);
    // Only the help text, which tells the current time, is handed over again.
    std::vector<std::wstring> changes = calls_since(calls);
    changes.erase(std::remove_if(changes.begin(), changes.end(),
                                 [](const std::wstring& call) { return call.rfind(L"set_help_info: ", 0) == 0; }),
                  changes.end());
    EXPECT_EQ(changes, std::vector<std::wstring>{});
    EXPECT_EQ(ui_.menu().show_count(), shows);
}

TEST_F(UiEventLoopTest, TheIconFollowsTheGuiSwitchThePauseAndTheStatusSeverity) {
    ui_.display_tray_icon();
    EXPECT_EQ(ui_.calls(), std::vector<std::wstring>{L"ux_set_tray_icon: 0"});
    struct expectation {
        const char* situation;
        std::function<void()> arrange;
        int icon;
    };
    const std::vector<expectation> cases = {
        {"severity 4", [] { settings().set_status_message(L"broken", 4); }, 4},
        {"severity 2", [] { settings().set_status_message(L"half broken", 2); }, 4},
        {"severity 1", [] { settings().set_status_message(L"in progress", 1); }, 0},
        {"paused beats an error",
         [this] {
             settings().set_status_message(L"broken", 4);
             settings().set_paused_until(now() + minutes(5));
         },
         1},
        {"outside the schedule",
         [this] {
             settings().set_paused_until(now() - hours(30));
             settings().set_logging_schedule_enabled(true);
             settings().set_logging_scheduled_days(1);  // Sundays only
         },
         1},
        {"no GUI: no icon", [] { settings().set_disable_gui(true); }, 8},
    };
    for (const auto& c : cases) {
        c.arrange();
        ui_.display_tray_icon();
        EXPECT_EQ(ui_.get_tray_icon(), c.icon) << c.situation;
        const std::size_t calls = ui_.call_count();
        ui_.display_tray_icon();
        EXPECT_EQ(ui_.call_count(), calls) << c.situation << ": an icon already shown is not set again";
    }
}

TEST_F(UiEventLoopTest, WithoutGuiTheIconStaysAwayTheMenuIsUntouchedAndAlertsAreDropped) {
    settings().set_disable_gui(true);
    settings().push_status_message(L"Time for a break");
    settings().set_paused_until(now() + minutes(5));
    passes(3);
    EXPECT_EQ(ui_.get_tray_icon(), 8);
    EXPECT_EQ(ui_.menu().show_count(), 0);
    EXPECT_FALSE(ui_.menu().is_tray_item_visible(k_tray_item_paused_info));
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{});
    std::wstring left;
    settings().pop_status_message(left);
    EXPECT_EQ(left, L"") << "the alert was consumed";
}

TEST_F(UiEventLoopTest, TheSignInPromptIsShownOncePerRunAndOnlyWhenItIsNeeded) {
    passes(3);
    const std::vector<std::wstring> calls = ui_.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"show_activation_prompt"), 1);

    testing::recording_ui signed_in(loop_seams());
    settings().set_account_key(L"AK-1");
    signed_in.set_ui_state();
    settings().set_account_key(L"");
    settings().set_enterprise_team_key(L"TEAM-1");
    signed_in.set_ui_state();
    settings().set_enterprise_team_key(L"");
    settings().set_disable_gui(true);
    signed_in.set_ui_state();
    EXPECT_EQ(signed_in.calls(), std::vector<std::wstring>{});
}

TEST_F(UiEventLoopTest, TheStatusLineSaysWhetherTheAccountIsActivatedPausedOrSwitchedOff) {
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages(),
              std::vector<std::wstring>{get_text(L"status_message_activation_incomplete")});
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages().size(), 1u) << "an unchanged status is not shown again";

    sign_in();
    settings().set_status_message(L"", 0);
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages().back(), get_text(L"status_message_activation_success"));

    settings().set_paused_until(now() + minutes(15));
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages().back(), L"Kestrel is paused or not enabled due to a logging schedule.");
    advance(minutes(16));
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages().back(), L"Kestrel is now logging, status will update shortly.");

    settings().set_logging_enabled(false);
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages().back(), L"Kestrel has been disabled by the account administrator.");
    settings().set_logging_enabled(true);
    settings().set_status_message(L"Successfully sent data at 2024-May-01 17:40:00", 0);
    ui_.update_status_text();
    EXPECT_EQ(ui_.status_messages().back(), L"Successfully sent data at 2024-May-01 17:40:00")
        << "switched back on without a pause mark, the status line is left as it is";
}

TEST_F(UiEventLoopTest, OneAlertAPassAndAUserPauseDoesNotSilenceItsOwnConfirmation) {
    settings().push_status_message(L"first");
    settings().push_status_message(L"second");
    ui_.display_alerts();
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{L"first"});
    ui_.display_alerts();
    ui_.display_alerts();
    EXPECT_EQ(ui_.notifications(), (std::vector<std::wstring>{L"first", L"second"}));

    settings().set_paused_until(now() + minutes(15));
    settings().push_status_message(L"Kestrel will now pause for 15 minutes.");
    settings().push_status_message(L"Stillzone not started because Kestrel is paused.");
    ui_.display_alerts();
    ui_.display_alerts();
    EXPECT_EQ(ui_.notifications().size(), 4u);
    EXPECT_EQ(ui_.notifications().back(), L"Stillzone not started because Kestrel is paused.");

    // The schedule and the administrator's switch still keep alerts back.
    settings().set_paused_until(now() - hours(30));
    settings().set_logging_schedule_enabled(true);
    settings().set_logging_scheduled_days(1);  // Sundays only; today is a Wednesday
    settings().push_status_message(L"outside the schedule");
    ui_.display_alerts();
    settings().set_logging_schedule_enabled(false);
    settings().set_logging_enabled(false);
    settings().set_paused_until(now() + minutes(15));
    settings().push_status_message(L"switched off");
    ui_.display_alerts();
    EXPECT_EQ(ui_.notifications().size(), 4u);
}

TEST_F(UiEventLoopTest, TheEndOfAPauseIsAnnouncedOnce) {
    settings().set_paused_until(now() + seconds(30));
    passes(10);  // five seconds
    advance(seconds(30));
    passes(10);
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{L"Kestrel is now unpaused."});
}

TEST_F(UiEventLoopTest, APauseThatEndedMovesADayIntoThePast) {
    settings().set_paused_until(now() - seconds(10));
    ui_.run_event_pass();
    EXPECT_EQ(settings().get_paused_until(), now() - hours(24));
    // Once a day or more in the past it stays where it is.
    settings().set_paused_until(now() - hours(48));
    ui_.run_event_pass();
    EXPECT_EQ(settings().get_paused_until(), now() - hours(48));
}

class UiOfflineTimeTest : public testing::UiTest {
protected:
    void SetUp() override {
        testing::UiTest::SetUp();
        enable_offline_time();
    }

    std::vector<std::wstring> offline_calls() const {
        std::vector<std::wstring> found;
        for (const auto& call : ui_.calls()) {
            if (call.find(L"offline_time") != std::wstring::npos) found.push_back(call);
        }
        return found;
    }
};

TEST_F(UiOfflineTimeTest, AwayTheWindowIsFilledAndBackItIsShown) {
    settings().set_timepie_labels({L"Meeting", L"Phone", L"Lunch"});
    idle_system_->idle = 301;
    ui_.display_offline_time();
    const std::wstring since = util::ptime_to_hour_minute_wstr(now() - seconds(301));
    EXPECT_EQ(offline_calls(),
              (std::vector<std::wstring>{L"ux_set_offline_time_labels: Meeting|Phone|Lunch",
                                         L"ux_set_offline_time_start_time: What have you been doing since " + since + L"?",
                                         L"ux_set_offline_time_elapsed_time: 00:05:01"}));
    advance(seconds(100));
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().back(), L"ux_set_offline_time_elapsed_time: 00:06:41");
    EXPECT_EQ(offline_calls().size(), 5u) << "unchanged labels are not passed again";

    idle_system_->idle = 2;  // back
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().back(), L"ux_show_offline_time");
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().size(), 6u);
}

TEST_F(UiOfflineTimeTest, FourHoursAwayIsNoLongerAskedAbout) {
    idle_system_->idle = 14399;
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().back(), L"ux_set_offline_time_elapsed_time: 03:59:59");
    advance(seconds(1));
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().back(), L"ux_hide_offline_time");
    const std::size_t count = offline_calls().size();
    advance(seconds(1));
    idle_system_->idle = 14401;  // a fresh period, already too long
    ui_.display_offline_time();
    advance(seconds(1));
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().size(), count) << "hidden once; nothing shown when the user comes back";
    idle_system_->idle = 1;
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().size(), count);
}

TEST_F(UiOfflineTimeTest, ThePromptWaitsForItsSettingItsDismissalTheGuiTheScheduleAndIdleActivities) {
    idle_system_->idle = 1000;
    const std::vector<std::function<void(bool)>> gates = {
        [](bool closed) { settings().set_timepie_enabled(!closed); },
        [this](bool closed) {
            if (closed) ui_.on_dismiss_offline_time(60);
            else settings().set_offline_dismissed_until(now());
        },
        [](bool closed) { settings().set_disable_gui(closed); },
        [this](bool closed) { settings().set_paused_until(closed ? now() + minutes(1) : now() - hours(30)); },
        [](bool closed) { settings().set_in_idle_activity(closed); },
    };
    for (std::size_t i = 0; i < gates.size(); ++i) {
        gates[i](true);
        const std::size_t before = ui_.call_count();
        ui_.display_offline_time();
        EXPECT_EQ(calls_since(before), std::vector<std::wstring>{}) << "gate " << i;
        gates[i](false);
    }
    const std::size_t before = ui_.call_count();
    ui_.display_offline_time();
    EXPECT_FALSE(calls_since(before).empty()) << "with every gate open the prompt is filled";
}

// The wall clock falls back before the agent's start (a clock set right by
// hand, or by the network after a sleep): the dismissal time the agent began
// with then lies ahead and must not hold the prompt off until it is reached.
// A dismissal the user made before the clock fell back holds it off no longer
// than its hour from now.
TEST_F(UiOfflineTimeTest, AClockThatFallsBackHoldsThePromptOffNoLongerThanADismissalReaches) {
    settings().set_offline_dismissed_until(now());  // as the defaults leave it at start
    advance(seconds(30) - hours(1));
    idle_system_->idle = 400;
    ui_.display_offline_time();
    ASSERT_FALSE(offline_calls().empty()) << "the prompt is filled";
    EXPECT_EQ(offline_calls().back(), L"ux_set_offline_time_elapsed_time: 00:06:40");
    EXPECT_EQ(settings().get_offline_dismissed_until(), now());

    ui_.on_dismiss_offline_time(60);
    const ptime dismissed_at = now();
    advance(minutes(59));
    std::size_t before = ui_.call_count();
    ui_.display_offline_time();
    EXPECT_EQ(calls_since(before), std::vector<std::wstring>{}) << "the hour holds";

    advance(-hours(2));
    ui_.display_offline_time();
    EXPECT_EQ(settings().get_offline_dismissed_until(), now());
    EXPECT_LT(now(), dismissed_at);
    EXPECT_EQ(offline_calls().back(), L"ux_set_offline_time_elapsed_time: 00:06:40");
}

TEST_F(UiOfflineTimeTest, OnlySixLabelsArePassed) {
    settings().set_timepie_labels({L"1", L"2", L"3", L"4", L"5", L"6", L"7"});
    idle_system_->idle = 400;
    const std::size_t before = testing::log_size();
    ui_.display_offline_time();
    EXPECT_EQ(offline_calls().front(), L"ux_set_offline_time_labels: 1|2|3|4|5|6");
    const auto lines = testing::log_lines_since(before);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        testing::log_line{1, L"[ui:display_offline_time] Too many labels = 7"}),
              lines.end());
}

TEST_F(UiOfflineTimeTest, AnIdleTimeOutOfAnySaneRangeIsClampedBeforeTheDateArithmetic) {
    for (const double broken : {std::numeric_limits<double>::quiet_NaN(), -5.0, 1e300,
                                std::numeric_limits<double>::infinity()}) {
        idle_system_->idle = broken;
        EXPECT_NO_THROW(ui_.display_offline_time()) << broken;
        EXPECT_LE(ui_.idle_seconds(), 366LL * 24 * 3600);
        EXPECT_GE(ui_.idle_seconds(), 0);
    }
    idle_system_->idle = 12.7;
    EXPECT_EQ(ui_.idle_seconds(), 12);
}

TEST_F(UiEventLoopTest, ASurveyIsAnnouncedOnceAndForgottenWhenItsTimeHasPassed) {
    settings().set_survey_url(L"https://survey.example.org/q1");
    settings().set_survey_message(L"Tell us how we are doing");
    settings().set_survey_time(now() + minutes(10));
    passes(2);
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{L"Tell us how we are doing"});
    EXPECT_TRUE(ui_.menu().is_tray_item_visible(k_tray_item_take_survey));
    passes(4);
    EXPECT_EQ(ui_.notifications().size(), 1u);

    advance(minutes(10));
    passes(2);
    EXPECT_EQ(settings().get_survey_url(), L"");
    EXPECT_FALSE(ui_.menu().is_tray_item_visible(k_tray_item_take_survey));
}

TEST_F(UiEventLoopTest, TheEndOfAFocusSessionIsToldToTheServiceAndAnnounced) {
    ui_.on_get_focused(1);
    passes(2);
    EXPECT_EQ(ended_sessions(), 0);
    advance(seconds(61));
    passes(2);
    EXPECT_EQ(ended_sessions(), 1);
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{L"Stillzone session ended."});
}

TEST_F(UiEventLoopTest, ASessionBeingExtendedIsNotTakenForOneThatEnded) {
    ui_.on_get_focused(30);
    passes(1);
    const ptime extended_at = now();
    // While the service is asked for the longer session, blocking is off for
    // a moment and a pass of the event thread comes along.
    service_->during_block_list = [this] {
        settings().set_blocking_enabled(false);
        std::thread event_thread([this] { ui_.display_still_zone(); });
        event_thread.join();
    };
    ui_.on_get_focused(60);
    service_->during_block_list = nullptr;
    passes(2);
    EXPECT_EQ(ended_sessions(), 0);
    EXPECT_TRUE(settings().is_blocking());
    EXPECT_EQ(settings().get_blocking_until(), extended_at + minutes(60));
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{});
}

}  // namespace
}  // namespace kes
