// The status menu as the event loop keeps it: the default menu, focus
// sessions and pauses as the user sees them, and how often it is rebuilt.
#include "tests/ui/ui_fixture.h"

#include <functional>

namespace kes {
namespace {

using boost::posix_time::minutes;
using boost::posix_time::seconds;

class MenuThroughTheLoop : public testing::UiTest {};

struct expected_item {
    int id;
    std::wstring text;  // empty: a separator
    std::vector<expected_item> children = {};
    bool enabled = true;
    bool checked = false;
};

void expect_rendering(const std::vector<rendered_menu_item>& shown, const std::vector<expected_item>& expected,
                      const std::string& where) {
    ASSERT_EQ(shown.size(), expected.size()) << where;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::string at = where + "/" + std::to_string(expected[i].id);
        EXPECT_EQ(shown[i].id, expected[i].id) << at;
        EXPECT_EQ(shown[i].separator, expected[i].text.empty()) << at;
        EXPECT_EQ(shown[i].text, expected[i].text) << at;
        EXPECT_EQ(shown[i].enabled, expected[i].enabled) << at;
        EXPECT_EQ(shown[i].checked, expected[i].checked) << at;
        expect_rendering(shown[i].children, expected[i].children, at);
    }
}

TEST_F(MenuThroughTheLoop, AFocusSessionShowsItsTimeAndKeepsQuitDisabledUntilItEnds) {
    ui_.on_get_focused(30);
    passes(1);
    const auto shown = ui_.menu().last_shown();
    const auto find = [&](int id) {
        for (const auto& item : shown) {
            if (item.id == id) return item;
        }
        return rendered_menu_item{};
    };
    EXPECT_EQ(find(k_tray_item_focused_info).text, L"Focused for 30 minutes");
    EXPECT_FALSE(find(k_tray_item_focused_info).enabled);
    EXPECT_FALSE(find(k_tray_item_quit).enabled);
    EXPECT_EQ(find(k_tray_item_focus).id, k_tray_item_invalid) << "no second session can be started";

    advance(minutes(30) + seconds(1));
    passes(1);
    EXPECT_TRUE(ui_.menu().is_tray_item_enabled(k_tray_item_quit));
    EXPECT_FALSE(ui_.menu().is_tray_item_visible(k_tray_item_focused_info));
}

TEST_F(MenuThroughTheLoop, APausedMenuOffersTheUnpauseAndTellsTheTimeLeft) {
    settings().set_paused_until(now() + seconds(3541));
    passes(1);
    EXPECT_EQ(ui_.menu().get_tray_item_name(k_tray_item_paused_info), L"Paused for 60 minutes");
    EXPECT_TRUE(ui_.menu().is_tray_item_visible(k_tray_item_unpause));
    advance(seconds(1));  // 3,540 s left
    ui_.run_event_pass();
    EXPECT_EQ(ui_.menu().get_tray_item_name(k_tray_item_paused_info), L"Paused for 59 minutes");
}

TEST_F(MenuThroughTheLoop, TwentyQuietPassesInEachEnterpriseModeRebuildTheMenuAtMostOnce) {
    const std::vector<std::function<void()>> modes = {
        [] {},
        [] {
            settings().set_enterprise_team_key(L"TEAM-1");
            settings().set_logging_enabled(false);
        },
        [] {
            settings().set_enterprise_team_key(L"TEAM-1");
            settings().set_logging_enabled(true);
            settings().set_enterprise_feedback_url(L"https://feedback.example.org/");
        },
        [] {
            settings().set_enterprise_team_key(L"TEAM-1");
            settings().set_enterprise_user_mode(1);
        },
    };
    for (std::size_t i = 0; i < modes.size(); ++i) {
        testing::recording_ui user_interface(loop_seams());
        user_interface.init();
        settings().set_defaults();
        settings().set_gui_loaded(true);
        settings().set_paused_until(now() - boost::posix_time::hours(48));
        settings().set_account_key(L"AK-1");  // no sign-in prompt
        modes[i]();
        for (int pass = 0; pass < 20; ++pass) {
            user_interface.run_event_pass();
            advance(boost::posix_time::milliseconds(500));
        }
        EXPECT_EQ(user_interface.menu().show_count(), 1) << "mode " << i;
    }
}

// Quiet passes leave the menu alone; a change made between passes (by the
// main thread's actions, say) is set back by the next pass as before.
TEST_F(MenuThroughTheLoop, AChangeMadeBetweenPassesIsSetBackByTheNext) {
    settings().set_account_key(L"AK-1");
    passes(1);
    const std::uint64_t settled = ui_.menu().change_count();
    passes(3);
    EXPECT_EQ(ui_.menu().change_count(), settled) << "quiet passes change nothing";
    const int shows = ui_.menu().show_count();

    ui_.menu().set_tray_item_visible(k_tray_item_dashboard, false);
    ui_.menu().set_tray_item_name(k_tray_item_quit, L"Leave");
    ui_.run_event_pass();
    EXPECT_TRUE(ui_.menu().is_tray_item_visible(k_tray_item_dashboard));
    EXPECT_EQ(ui_.menu().get_tray_item_name(k_tray_item_quit), L"Leave") << "a name the state does not set stays";
    EXPECT_EQ(ui_.menu().show_count(), shows + 1);

    settings().set_goto_dashboard_allowed(false);
    ui_.run_event_pass();
    EXPECT_FALSE(ui_.menu().is_tray_item_visible(k_tray_item_dashboard));
    EXPECT_EQ(ui_.menu().show_count(), shows + 2);
}

TEST_F(MenuThroughTheLoop, TheDefaultMenuAfterInitAndOnePass) {
    passes(1);
    const std::vector<expected_item> expected = {
        {7, L"Help..."},
        {8, L""},
        {9, L"Go to Dashboard..."},
        {15,
         L"Reports",
         {{16, L"Activities"}, {17, L"Categories"}, {18, L"Productivity"}, {19, L"Highlights"}}},
        {10, L"Goals & Alerts..."},
        {14, L""},
        {21,
         L"Start Stillzone",
         {{22, L"For 15 minutes"},
          {23, L"For 30 minutes"},
          {24, L"For 1 hour"},
          {25, L"For 2 hours"},
          {26, L"Until tomorrow"},
          {27, L"Custom..."}}},
        {29, L"Pause", {{30, L"Pause for 15 minutes"}, {31, L"Pause for 1 hour"}, {32, L"Pause until tomorrow"}}},
        {35, L""},
        {36,
         L"Preferences",
         {{37, L"Account & billing settings..."},
          {38, L"Privacy & schedule settings..."},
          {40, L"Proxy settings for this device"},
          {39, L"Start at Login", {}, true, true}}},
        {42, L""},
        {43, L"Check for Updates..."},
        {44, L""},
        {45, L"Quit Kestrel"},
    };
    ASSERT_EQ(ui_.menu().show_count(), 1);
    expect_rendering(ui_.menu().last_shown(), expected, "menu");
}

}  // namespace
}  // namespace kes
