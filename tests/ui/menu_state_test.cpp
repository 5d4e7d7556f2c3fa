// What the status menu shows: the remaining-time texts at their boundaries,
// pausing and focus sessions, and the three enterprise modes.
#include "core/ui/menu_state.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kes {
namespace {

TEST(MenuTexts, ThePauseReadsMinutesUpToAnHourAndThenUntilMidnight) {
    EXPECT_EQ(pause_info_text(1), L"Paused for 1 minutes");
    EXPECT_EQ(pause_info_text(61), L"Paused for 2 minutes");
    EXPECT_EQ(pause_info_text(3540), L"Paused for 59 minutes");
    EXPECT_EQ(pause_info_text(3541), L"Paused for 60 minutes");
    EXPECT_EQ(pause_info_text(3600), L"Paused for 60 minutes");  // a one-hour pause
    EXPECT_EQ(pause_info_text(3601), L"Paused for 60 minutes");
    EXPECT_EQ(pause_info_text(3602), L"Paused until midnight");
}

TEST(MenuTexts, AFocusSessionReadsMinutesUpToAnHourAndThenFocusedMode) {
    EXPECT_EQ(focus_info_text(0), L"Focused for 0 minutes");
    EXPECT_EQ(focus_info_text(1800), L"Focused for 30 minutes");
    EXPECT_EQ(focus_info_text(3540), L"Focused for 59 minutes");
    EXPECT_EQ(focus_info_text(3541), L"Focused for 60 minutes");
    EXPECT_EQ(focus_info_text(3542), L"Focused Mode");
}

// The ids a state shows and hides.
std::set<int> shown_by(const menu_state& state) {
    std::set<int> ids;
    for (int id = 0; id < k_number_of_tray_items; ++id) {
        if (state[id].visible.value_or(false)) ids.insert(id);
    }
    return ids;
}
std::set<int> hidden_by(const menu_state& state) {
    std::set<int> ids;
    for (int id = 0; id < k_number_of_tray_items; ++id) {
        if (state[id].visible && !*state[id].visible) ids.insert(id);
    }
    return ids;
}

TEST(MenuState, PauseAndFocusSessionDecideWhatCanBeStarted) {
    menu_facts facts;
    auto state = menu_state_for(facts);
    EXPECT_EQ(shown_by(state), (std::set<int>{7, 9, 21, 29, 36, 39, 43, 45}));
    EXPECT_EQ(hidden_by(state), (std::set<int>{0, 1, 2, 3, 5, 11, 12, 28, 33, 34}));
    EXPECT_TRUE(*state[k_tray_item_quit].enabled);

    facts.paused = true;
    facts.pause_seconds_left = 900;
    state = menu_state_for(facts);
    EXPECT_EQ(*state[k_tray_item_paused_info].text, L"Paused for 15 minutes");
    EXPECT_TRUE(*state[k_tray_item_paused_info].visible);
    EXPECT_TRUE(*state[k_tray_item_unpause].visible);
    EXPECT_FALSE(*state[k_tray_item_focus].visible);
    EXPECT_FALSE(*state[k_tray_item_pause].visible);

    // Without permission to pause, a pause shows nothing and nothing offers one.
    facts.pausing_allowed = false;
    state = menu_state_for(facts);
    EXPECT_FALSE(*state[k_tray_item_paused_info].visible);
    EXPECT_FALSE(*state[k_tray_item_unpause].visible);
    EXPECT_FALSE(*state[k_tray_item_pause].visible);
    EXPECT_TRUE(*state[k_tray_item_focus].visible);
    facts.paused = false;
    EXPECT_FALSE(*menu_state_for(facts)[k_tray_item_pause].visible);

    facts = menu_facts{};
    facts.focus_session = true;
    facts.focus_seconds_left = 1800;
    state = menu_state_for(facts);
    EXPECT_EQ(*state[k_tray_item_focused_info].text, L"Focused for 30 minutes");
    EXPECT_TRUE(*state[k_tray_item_focused_info].visible);
    EXPECT_FALSE(*state[k_tray_item_focus].visible);
    EXPECT_FALSE(*state[k_tray_item_pause].visible);
    EXPECT_FALSE(*state[k_tray_item_quit].enabled);
    EXPECT_FALSE(state[k_tray_item_paused_info].text.has_value()) << "not paused: its text is left alone";
}

TEST(MenuState, TheEnterpriseModesDecideWhatTheUserSees) {
    struct mode {
        const char* name;
        bool team_key;
        bool logging_enabled;
        std::uint32_t user_mode;
        std::set<int> shown;
        std::set<int> hidden;
        std::map<int, std::wstring> texts;
    };
    const std::vector<mode> modes = {
        {"no team", false, true, 0, {7, 9, 21, 29, 36, 39, 43, 45}, {0, 1, 2, 3, 5, 11, 12, 28, 33, 34}, {}},
        {"team, logging off",
         true,
         false,
         0,
         {0, 1, 2, 45},
         {3, 5, 7, 9, 11, 12, 21, 28, 29, 33, 34, 36, 39, 43},
         {{0, L"Activity Logging: Off"}, {1, L"Start Kestrel..."}}},
        {"team, logging on",
         true,
         true,
         0,
         {0, 1, 2, 3, 5, 29, 45},
         {7, 9, 11, 12, 21, 28, 33, 34, 36, 39, 43},
         {{0, L"Activity Logging: On"}, {1, L"Stop Kestrel..."}}},
        {"team, logging on, user mode 1",
         true,
         true,
         1,
         {0, 1, 2, 3, 7, 9, 21, 29, 36, 39, 43, 45},
         {5, 11, 12, 28, 33, 34},
         {{0, L"Activity Logging: On"}, {1, L"Stop Kestrel..."}}},
    };
    for (const mode& m : modes) {
        menu_facts facts;
        facts.enterprise = m.team_key;
        facts.logging_enabled = m.logging_enabled;
        facts.logging_allowed_now = m.logging_enabled;
        facts.feedback_address = true;
        facts.enterprise_user_mode = m.user_mode;
        const menu_state state = menu_state_for(facts);
        EXPECT_EQ(shown_by(state), m.shown) << m.name;
        EXPECT_EQ(hidden_by(state), m.hidden) << m.name;
        for (const auto& [id, text] : m.texts) EXPECT_EQ(state[id].text.value_or(L"-"), text) << m.name;
    }

    menu_facts paused;
    paused.enterprise = true;
    paused.logging_allowed_now = false;
    paused.feedback_address = false;
    const menu_state state = menu_state_for(paused);
    EXPECT_EQ(*state[0].text, L"Activity Logging: Paused");
    EXPECT_FALSE(*state[k_tray_item_enterprise_feedback].visible) << "no feedback address, no feedback item";
}

}  // namespace
}  // namespace kes
