// The status menu's actions: the pages they open, pausing, focus sessions,
// the preferences, the login item, update checks and quitting.
#include "core/foundation/text_table.h"
#include "core/ui/web_links.h"
#include "tests/support/eventually.h"
#include "tests/support/test_environment.h"
#include "tests/ui/ui_fixture.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

namespace kes {
namespace {

using boost::posix_time::hours;
using boost::posix_time::minutes;
using boost::posix_time::ptime;
using boost::posix_time::seconds;
using boost::posix_time::time_from_string;

class UiActionsTest : public testing::UiTest {
protected:
    // The one line an action logged at the error level.
    std::vector<std::wstring> action_lines(int id) {
        const std::size_t before = testing::log_size();
        ui_.on_menu_action(id);
        std::vector<std::wstring> lines;
        for (const auto& line : testing::log_lines_since(before)) {
            if (line.level == 1) lines.push_back(line.message);
        }
        return lines;
    }
    std::wstring last_opened() const {
        const auto opened = ui_.opened_urls();
        return opened.empty() ? L"" : opened.back();
    }
};

TEST_F(UiActionsTest, PageItemsOpenTheirAddressesOnTheConfiguredHost) {
    const std::wstring site = L"https://app.kestrel.test";
    struct page {
        int id;
        std::wstring log_line;
        std::wstring address;
    };
    const std::vector<page> pages = {
        {9, L"[User Action] Open Dashboard page.", site + L"/dashboard?src=client"},
        {10, L"[User Action] Open Goals and Alerts page.", site + L"/browse/goals/by/day?src=client"},
        {16, L"[User Action] Open Activities Report page.", site + L"/browse/activity/by/rank?src=client"},
        {17, L"[User Action] Open Categories Report page.", site + L"/browse/overview/by/rank?src=client"},
        {18, L"[User Action] Open Productivity Report page.", site + L"/browse/productivity/by/rank?src=client"},
        {19, L"[User Action] Open Highlights Report page.", site + L"/browse/highlights?src=client"},
        {20, L"[User Action] Open Organization Report page.", site + L"/organization/summary?src=client"},
        {37, L"User Action] Open Settings for Account & Billing page.", site + L"/users/settings?src=client"},
        {38, L"User Action] Open Settings for Privacy & Schedule page.",
         site + L"/accounts/monitoring_options?src=client"},
        {11, L"[User Action] Open Enter OfflineTime page.",
         site + L"/offline_time?client_current_timestamp=2024-05-01T17:30:05&src=client"},
    };
    for (const page& p : pages) {
        EXPECT_EQ(action_lines(p.id), std::vector<std::wstring>{p.log_line}) << p.id;
        EXPECT_EQ(last_opened(), p.address) << p.id;
    }
}

TEST_F(UiActionsTest, EnterprisePagesCarryTheKeysEscapedAndNoMarker) {
    settings().set_account_key(L"AK 1&x=y#z");
    settings().set_enterprise_team_key(L"T/é");
    const std::wstring keys = L"?account_key=AK%201%26x%3Dy%23z&enterprise_team_key=T%2F%C3%A9";
    settings().set_logging_enabled(false);
    ui_.on_menu_action(k_tray_item_enterprise_reports);
    EXPECT_EQ(last_opened(), L"https://app.kestrel.test/enterprise/opt_in" + keys);
    settings().set_logging_enabled(true);
    ui_.on_menu_action(k_tray_item_enterprise_reports);
    EXPECT_EQ(last_opened(), L"https://app.kestrel.test/enterprise/opt_out" + keys);
    ui_.on_menu_action(k_tray_item_enterprise_learn_more);
    EXPECT_EQ(last_opened(), L"https://app.kestrel.test/enterprise/learn_more" + keys);
    ui_.on_menu_action(k_tray_item_enterprise_personal_reports);
    EXPECT_EQ(last_opened(), L"https://app.kestrel.test/enterprise/enable_personal_reports" + keys);
}

TEST_F(UiActionsTest, AddressesFromSettingsOpenAsStoredButOnlyOverHttpOrHttps) {
    settings().set_enterprise_feedback_url(L"https://feedback.example.org/form?team=1");
    ui_.on_menu_action(k_tray_item_enterprise_feedback);
    EXPECT_EQ(last_opened(), L"https://feedback.example.org/form?team=1");

    const std::size_t opened = ui_.opened_urls().size();
    for (const wchar_t* refused : {L"javascript:alert(1)", L"file:///etc/passwd", L"", L"httpx://example.org"}) {
        settings().set_enterprise_feedback_url(refused);
        ui_.on_menu_action(k_tray_item_enterprise_feedback);
    }
    EXPECT_EQ(ui_.opened_urls().size(), opened);

    settings().set_survey_url(L"HTTP://survey.example.org/q?id=7");
    settings().set_survey_only_once(false);
    EXPECT_EQ(action_lines(k_tray_item_take_survey), std::vector<std::wstring>{L"[User Action] Open Take Survey page."});
    EXPECT_EQ(last_opened(), L"HTTP://survey.example.org/q?id=7");
    EXPECT_EQ(settings().get_survey_url(), L"HTTP://survey.example.org/q?id=7");
    settings().set_survey_only_once(true);
    ui_.on_menu_action(k_tray_item_take_survey);
    EXPECT_EQ(settings().get_survey_url(), L"") << "a survey taken once is forgotten";
}

TEST_F(UiActionsTest, PausingForAQuarterOrAnHourOrUntilMidnightAndUnpausing) {
    EXPECT_EQ(action_lines(k_tray_item_pause_for_15_minutes),
              std::vector<std::wstring>{L"[User Action] Pausing for 15 minutes."});
    EXPECT_EQ(settings().get_paused_until(), now() + seconds(900));
    std::wstring queued;
    settings().pop_status_message(queued);
    EXPECT_EQ(queued, L"Kestrel will now pause for 15 minutes.");

    ui_.on_menu_action(k_tray_item_pause_for_60_minutes);
    EXPECT_EQ(settings().get_paused_until(), now() + seconds(3600));
    settings().pop_status_message(queued);
    EXPECT_EQ(queued, L"Kestrel will now pause for 60 minutes.");

    set_now(time_from_string("2024-05-01 23:59:30"));
    ui_.on_menu_action(k_tray_item_pause_until_tomorrow);
    EXPECT_EQ(settings().get_paused_until() - now(), seconds(30));
    settings().pop_status_message(queued);
    EXPECT_EQ(queued, L"Kestrel will now pause until tomorrow.");

    EXPECT_EQ(action_lines(k_tray_item_unpause), std::vector<std::wstring>{L"[User Action] Unpausing Kestrel."});
    EXPECT_EQ(settings().get_paused_until(), now() - seconds(1));
    settings().set_paused_until(now() - hours(30));
    ui_.on_menu_action(k_tray_item_unpause);  // not paused: still one second ago
    EXPECT_EQ(settings().get_paused_until(), now() - seconds(1));
}

TEST_F(UiActionsTest, WithoutPermissionToPauseThePauseItemsOnlyLog) {
    settings().set_pausing_allowed(false);
    for (const int id : {30, 31, 32}) {
        const auto lines = action_lines(id);
        ASSERT_EQ(lines.size(), 2u) << id;
        EXPECT_EQ(lines[1], L"[ui:on_menu_action] Pausing is not allowed for this account; nothing done.");
    }
    EXPECT_FALSE(settings().is_paused());
    std::wstring queued;
    settings().pop_status_message(queued);
    EXPECT_EQ(queued, L"");
}

TEST_F(UiActionsTest, TheSavedPauseEndIsWhatThePauseAsked) {
    ui_.on_menu_action(k_tray_item_pause_for_15_minutes);
    const std::string saved = testing::read_file(system::create()->get_config_json_path());
    EXPECT_NE(saved.find("\"paused_until\":\"2024-May-01 17:45:05\""), std::string::npos) << saved;
}

TEST_F(UiActionsTest, FocusItemsStartSessionsOfTheirLengthAtTheService) {
    const std::vector<std::pair<int, int>> items = {{22, 15}, {23, 30}, {24, 60}, {25, 120}};
    for (const auto& [id, minutes_asked] : items) ui_.on_menu_action(id);
    EXPECT_EQ(started_sessions(), (std::vector<int>{15, 30, 60, 120}));
    EXPECT_EQ(settings().get_blocking_until(), now() + minutes(120));

    set_now(time_from_string("2024-05-01 21:15:40"));
    EXPECT_EQ(action_lines(k_tray_item_focus_until_tomorrow),
              std::vector<std::wstring>{L"[User Action] Starting a Stillzone session until midnight."});
    EXPECT_EQ(started_sessions().back(), 164);

    // Less than a minute before midnight the service is still asked for one.
    set_now(time_from_string("2024-05-01 23:59:30"));
    ui_.on_get_focused(-1);
    EXPECT_EQ(started_sessions().back(), 1);

    ui_.on_menu_action(k_tray_item_focus_for_custom);
    EXPECT_EQ(ui_.calls().back(), L"show_still_zone_window");
}

TEST_F(UiActionsTest, LengthsOutsideADayAreRefusedAndTheWindowIsResetToHalfAnHour) {
    for (const int minutes_asked : {1441, -2}) {
        const std::size_t before = testing::log_size();
        ui_.on_get_focused(minutes_asked);
        const auto lines = testing::log_lines_since(before);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], (testing::log_line{33, L"[ui:on_get_focused] Ignoring request to start Stillzone, minutes(" +
                                                       std::to_wstring(minutes_asked) + L") not in range 1 to 1440"}));
    }
    EXPECT_EQ(ui_.still_zone_minutes(), (std::vector<int>{30, 30}));
    EXPECT_EQ(started_sessions(), std::vector<int>{});
    ui_.on_get_focused(1440);
    EXPECT_EQ(started_sessions(), std::vector<int>{1440});
    EXPECT_TRUE(settings().is_blocking());
}

TEST_F(UiActionsTest, ASessionTheServiceRefusesIsEndedAtOnce) {
    service_->failing.insert("get_blocked_list");
    const std::size_t before = testing::log_size();
    ui_.on_menu_action(k_tray_item_focus_for_30_minutes);
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_EQ(ended_sessions(), 1);
    const auto lines = testing::log_lines_since(before);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        testing::log_line{1, L"[ui:on_get_focused] Unable to pull blocked list to enable Stillzone."}),
              lines.end());

    service_->failing.clear();
    ui_.on_menu_action(k_tray_item_focus_for_30_minutes);
    ui_.on_get_focused(0);
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_EQ(settings().get_blocking_until(), now() - seconds(60));
    EXPECT_EQ(ended_sessions(), 2);
}

// The service ended the session (from its web page, or its time ran out
// there): the next block-list answer says blocking is off.
TEST_F(UiActionsTest, ARunningSessionEndsWhenTheServiceAnswersBlockingOff) {
    ui_.on_menu_action(k_tray_item_focus_for_30_minutes);
    passes(1);
    ASSERT_TRUE(ui_.menu().is_tray_item_visible(k_tray_item_focused_info));
    ASSERT_FALSE(ui_.menu().is_tray_item_enabled(k_tray_item_quit));

    advance(minutes(5));
    service_->block_list.blocking_enabled = false;
    puller refresh(service_, system::create(), [this]() -> ui* { return &ui_; }, [this] { return now(); });
    EXPECT_TRUE(refresh.update_blocked_list(false, false, 0));
    EXPECT_FALSE(settings().is_blocking());
    EXPECT_TRUE(settings().get_blocked_items().empty());

    passes(2);
    EXPECT_FALSE(ui_.menu().is_tray_item_visible(k_tray_item_focused_info));
    EXPECT_TRUE(ui_.menu().is_tray_item_visible(k_tray_item_focus));
    EXPECT_TRUE(ui_.menu().is_tray_item_enabled(k_tray_item_quit));
    EXPECT_EQ(ui_.notifications(), std::vector<std::wstring>{L"Stillzone session ended."});
}

TEST_F(UiActionsTest, TheMenusFocusRequestsRunInOrderOnAThreadOfTheirOwnAndAFailedStartIsTold) {
    ui::seams with = loop_seams();
    with.run_focus_request = {};  // the UI's own focus-request thread
    testing::recording_ui menu_ui(with);
    menu_ui.init();
    menu_ui.set_puller_factory([this, &menu_ui] {
        return std::make_unique<puller>(service_, system::create(), [&menu_ui]() -> ui* { return &menu_ui; },
                                        [this] { return now(); });
    });
    std::promise<void> answer;
    const std::shared_future<void> answered = answer.get_future().share();
    std::atomic<int> asked{0};
    std::atomic<std::thread::id> asked_on{};
    service_->during_block_list = [&] {
        if (asked.load() == 0) {
            asked_on = std::this_thread::get_id();
            // The service takes its time over the first request.
            EXPECT_EQ(answered.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        }
        ++asked;
    };
    menu_ui.on_menu_action(k_tray_item_focus_for_30_minutes);
    menu_ui.request_focus_session(0);  // the focus window's Cancel, while the start waits
    ASSERT_TRUE(testing::eventually([&] { return asked_on.load() != std::thread::id(); }));
    EXPECT_NE(asked_on.load(), std::this_thread::get_id());
    EXPECT_FALSE(settings().is_blocking()) << "the menu did not wait for the service";
    answer.set_value();
    ASSERT_TRUE(testing::eventually([&] { return asked.load() == 2; }));
    menu_ui.finish_requests();
    ASSERT_EQ(service_->block_list_calls.size(), 2u);
    EXPECT_TRUE(service_->block_list_calls[0].start);
    EXPECT_TRUE(service_->block_list_calls[1].end);
    EXPECT_FALSE(settings().is_blocking());

    // A length no session can have is refused at once, on the caller's thread.
    testing::recording_ui second_ui(with);
    second_ui.request_focus_session(2000);
    EXPECT_EQ(second_ui.still_zone_minutes(), std::vector<int>{30});

    // A session the service does not confirm is told to the user.
    service_->during_block_list = {};
    service_->failing.insert("get_blocked_list");
    second_ui.set_puller_factory([this, &second_ui] {
        return std::make_unique<puller>(service_, system::create(), [&second_ui]() -> ui* { return &second_ui; },
                                        [this] { return now(); });
    });
    second_ui.on_menu_action(k_tray_item_focus_for_15_minutes);
    const std::wstring told = L"show_alert: Kestrel|" + get_text(L"stillzone_alert_error_not_started");
    EXPECT_TRUE(testing::eventually([&] {
        const auto calls = second_ui.calls();
        return std::find(calls.begin(), calls.end(), told) != calls.end();
    }));
    second_ui.finish_requests();
    EXPECT_FALSE(settings().is_blocking());
}

TEST_F(UiActionsTest, WindowsLoginItemUpdatesAndQuit) {
    EXPECT_EQ(action_lines(k_tray_item_help), std::vector<std::wstring>{L"User Action] Open Help Window."});
    EXPECT_EQ(ui_.calls().back(), L"go_to_help");
    EXPECT_EQ(action_lines(k_tray_item_preferences_proxy_settings),
              std::vector<std::wstring>{L"User Action] Open panel for proxy settings."});
    EXPECT_EQ(ui_.calls().back(), L"show_preferences_window");

    ASSERT_TRUE(ui_.menu().is_tray_item_checked(k_tray_item_preferences_start_at_login));
    EXPECT_EQ(action_lines(k_tray_item_preferences_start_at_login),
              std::vector<std::wstring>{L"[User Action] Toggle Start At Login...  Now: 0"});
    EXPECT_FALSE(ui_.menu().is_tray_item_checked(k_tray_item_preferences_start_at_login));
    ui_.on_menu_action(k_tray_item_preferences_start_at_login);
    EXPECT_TRUE(ui_.menu().is_tray_item_checked(k_tray_item_preferences_start_at_login));

    EXPECT_EQ(action_lines(k_tray_item_check_for_updates),
              std::vector<std::wstring>{L"[User Action] Checking for updates..."});
    EXPECT_TRUE(settings().get_update_check_requested());
    ui_.run_event_pass();
    const std::vector<std::wstring> calls = ui_.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"check_for_updates_now"), 1);
    EXPECT_FALSE(settings().get_update_check_requested());

    EXPECT_EQ(action_lines(k_tray_item_quit), std::vector<std::wstring>{L"[User Action] Quitting Kestrel from the menu."});
    EXPECT_EQ(ui_.quit_requests(), 1);
}

TEST_F(UiActionsTest, SignOutNeedsAConfirmationAndUnknownItemsOnlyLog) {
    settings().set_account_key(L"AK-keep");
    EXPECT_EQ(action_lines(k_tray_item_preferences_sign_out),
              std::vector<std::wstring>{L"[User Action] Requesting to Sign-out of this device"});
    EXPECT_EQ(ui_.calls().back(), L"ask_confirmation: Kestrel / Do you really want to sign-out?");
    EXPECT_EQ(settings().get_account_key(), L"AK-keep");

    ui_.answer_confirmation(true);
    EXPECT_EQ(action_lines(k_tray_item_preferences_sign_out),
              (std::vector<std::wstring>{L"[User Action] Requesting to Sign-out of this device",
                                         L"[User Action] Confirmed request to Sign-out."}));
    EXPECT_EQ(settings().get_account_key(), L"");
    // Signed out, the agent still serves its windows and menu in this run.
    EXPECT_TRUE(settings().get_gui_loaded());

    const std::size_t calls = ui_.call_count();
    for (const int id : {0, 4, 13, 15, 21, 28, 29, 33, 36, 44, 46, 47, -1}) {
        EXPECT_EQ(action_lines(id), std::vector<std::wstring>{L"Kestrel Error: Unhandled menu action!"}) << id;
    }
    EXPECT_EQ(ui_.call_count(), calls);
}

TEST_F(UiActionsTest, SelectionsFromTheMenuReachTheActions) {
    ui_.menu().notify_listener(k_tray_item_quit);
    EXPECT_EQ(ui_.quit_requests(), 1);
}

}  // namespace
}  // namespace kes
