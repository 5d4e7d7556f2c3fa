// What the status menu shows: the remaining-time texts at their boundaries,
// pausing and focus sessions, and the three enterprise modes.
#include "core/ui/menu_state.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

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

// The loop skips building the state when the facts are alike: alike facts
// must give the same state, and any fact the state shows must count.
TEST(MenuState, AlikeFactsGiveTheSameStateAndEveryShownFactCounts) {
    std::vector<menu_facts> variants;
    menu_facts base;
    base.pause_seconds_left = -86400;  // a pause that ended a day ago
    base.focus_seconds_left = -60;
    variants.push_back(base);
    const auto vary = [&](auto change) {
        menu_facts changed = base;
        change(changed);
        variants.push_back(changed);
    };
    vary([](menu_facts& f) { f.pause_seconds_left = -86399; });  // not shown while no pause runs
    vary([](menu_facts& f) { f.focus_seconds_left = -59; });
    vary([](menu_facts& f) { f.goto_dashboard_allowed = false; });
    vary([](menu_facts& f) { f.offline_time_menu_allowed = true; });
    vary([](menu_facts& f) { f.quitting_allowed = false; });
    vary([](menu_facts& f) { f.pausing_allowed = false; });
    vary([](menu_facts& f) { f.survey_available = true; });
    vary([](menu_facts& f) { f.paused = true, f.pause_seconds_left = 600; });
    vary([](menu_facts& f) { f.paused = true, f.pause_seconds_left = 1200; });
    vary([](menu_facts& f) { f.focus_session = true, f.focus_seconds_left = 600; });
    vary([](menu_facts& f) { f.focus_session = true, f.focus_seconds_left = 1200; });
    vary([](menu_facts& f) { f.enterprise = true; });
    vary([](menu_facts& f) { f.enterprise = true, f.logging_enabled = false; });
    vary([](menu_facts& f) { f.enterprise = true, f.logging_allowed_now = false; });
    vary([](menu_facts& f) { f.enterprise = true, f.feedback_address = true; });
    vary([](menu_facts& f) { f.enterprise = true, f.enterprise_user_mode = 1; });

    for (std::size_t i = 0; i < variants.size(); ++i) {
        for (std::size_t j = 0; j < variants.size(); ++j) {
            const bool alike = same_menu_facts(variants[i], variants[j]);
            if (alike) EXPECT_EQ(menu_state_for(variants[i]), menu_state_for(variants[j])) << i << " and " << j;
            if (menu_state_for(variants[i]) != menu_state_for(variants[j])) EXPECT_FALSE(alike) << i << " and " << j;
        }
    }
    EXPECT_TRUE(same_menu_facts(variants[0], variants[1]));
    EXPECT_TRUE(same_menu_facts(variants[0], variants[2]));
    EXPECT_FALSE(same_menu_facts(variants[8], variants[9]));    // a running pause's time left counts
    EXPECT_FALSE(same_menu_facts(variants[10], variants[11]));  // and a focus session's
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
