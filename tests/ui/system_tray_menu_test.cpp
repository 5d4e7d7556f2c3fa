// The status-menu model: building, lookups, change tracking, the rendering
// rule the platform draws from, and sharing between two threads.
#include "core/foundation/config.h"
#include "core/ui/system_tray_menu.h"
#include "tests/ui/debug_log_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

namespace kes {
namespace {

using testing::log_line;
using testing::log_lines_since;
using testing::log_size;

// The agent's menu, counting the rebuilds it asks the platform for.
class recording_tray_menu : public system_tray_menu_interface {
public:
    void show() override {
        render();  // as a platform rebuild would, under the menu's own lock
        ++shows_;
    }
    int show_count() const { return shows_.load(); }

private:
    std::atomic<int> shows_{0};
};

class TrayMenuTest : public ::testing::Test {
protected:
    void SetUp() override { config::instance().set_debug_log_level(0xFFFF); }
    void TearDown() override { config::instance().set_debug_log_level(1); }
};

// The ids a rendering shows at its top level.
std::vector<int> ids_of(const std::vector<rendered_menu_item>& items) {
    std::vector<int> ids;
    for (const auto& item : items) ids.push_back(item.id);
    return ids;
}

// Setting many items at once is the setters one by one: the same changes,
// the same lines in the same order, one rebuild owed, and a change count
// that moves only on real changes.
TEST_F(TrayMenuTest, SettingItemsTogetherIsTheSettersOneByOne) {
    tray_menu_state state;
    state[k_tray_item_dashboard].visible = false;
    state[k_tray_item_paused_info].text = L"Paused for 5 minutes";
    state[k_tray_item_paused_info].visible = true;
    state[k_tray_item_quit].enabled = false;
    state[k_tray_item_help].visible = true;  // already so

    recording_tray_menu one_by_one;
    std::size_t before = log_size();
    one_by_one.set_tray_item_visible(k_tray_item_dashboard, false);
    one_by_one.set_tray_item_name(k_tray_item_paused_info, L"Paused for 5 minutes");
    one_by_one.set_tray_item_visible(k_tray_item_paused_info, true);
    one_by_one.set_tray_item_visible(k_tray_item_help, true);
    one_by_one.set_tray_item_enabled(k_tray_item_quit, false);
    const std::vector<log_line> expected = log_lines_since(before);
    ASSERT_EQ(expected.size(), 4u);

    recording_tray_menu together;
    const std::uint64_t built = together.change_count();
    before = log_size();
    const std::uint64_t after = together.set_tray_items(state);
    EXPECT_EQ(log_lines_since(before), expected);
    EXPECT_EQ(after, built + 4);
    EXPECT_EQ(together.change_count(), after);
    EXPECT_EQ(together.items().size(), one_by_one.items().size());
    EXPECT_EQ(together.render().size(), one_by_one.render().size());
    EXPECT_TRUE(together.is_dirty());
    together.refresh_if_dirty();
    EXPECT_EQ(together.show_count(), 1);

    EXPECT_EQ(together.set_tray_items(state), after) << "nothing more to change";
    EXPECT_FALSE(together.is_dirty());
}

TEST_F(TrayMenuTest, BuildingReportsExactlyTheTwoIdsThatAreNamedButNeverAdded) {
    const std::size_t before = log_size();
    recording_tray_menu menu;
    std::vector<log_line> missing;
    for (const log_line& line : log_lines_since(before)) {
        if (line.message.rfind(L"ERROR: Could not access the menu item: ", 0) == 0) missing.push_back(line);
    }
    EXPECT_EQ(missing, (std::vector<log_line>{{1, L"ERROR: Could not access the menu item: 13"},
                                              {1, L"ERROR: Could not access the menu item: 41"}}));
    // Submenu items are found below their parents; the literal placeholders stand until the loop sets them.
    EXPECT_EQ(menu.get_tray_item_name(k_tray_item_report_highlights), L"Highlights");
    EXPECT_EQ(menu.get_tray_item_name(k_tray_item_focused_info), L"dynamic and set in ui::set_menu_item_state()");
    EXPECT_EQ(menu.get_tray_item_name(k_tray_item_paused_info), L"Pause Info Unknown");
    EXPECT_FALSE(menu.is_tray_item_enabled(k_tray_item_enterprise_logging_status));
    EXPECT_FALSE(menu.is_tray_item_visible(k_tray_item_report_organization));
    EXPECT_FALSE(menu.is_dirty());
    try {
        menu.find_item(k_tray_item_preferences_sign_out);
        FAIL() << "item 41 is not in the menu";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "tray_menu_item was not found anywhere in the menu system, was it added in ctor?");
    }
    EXPECT_THROW(menu.set_tray_item_visible(99, true), std::runtime_error);
}

TEST_F(TrayMenuTest, OnlyRealChangesMarkTheMenuDirtyAndOneRefreshShowsThemAll) {
    recording_tray_menu menu;
    const std::size_t before = log_size();
    menu.set_tray_item_name(k_tray_item_help, L"Help...");  // unchanged
    menu.set_tray_item_visible(k_tray_item_help, true);      // unchanged
    EXPECT_FALSE(menu.is_dirty());
    menu.refresh_if_dirty();
    EXPECT_EQ(menu.show_count(), 0);

    menu.set_tray_item_name(k_tray_item_paused_info, L"Paused for 12 minutes");
    menu.set_tray_item_name(k_tray_item_paused_info, L"Paused for 12 minutes");
    menu.set_tray_item_checked(k_tray_item_preferences_start_at_login, true);
    menu.set_tray_item_enabled(k_tray_item_quit, false);
    menu.set_tray_item_visible(k_tray_item_enterprise_logging_status, true);
    EXPECT_TRUE(menu.is_dirty());
    menu.refresh_if_dirty();
    menu.refresh_if_dirty();
    EXPECT_EQ(menu.show_count(), 1);
    EXPECT_FALSE(menu.is_dirty());

    std::vector<log_line> dirty;
    for (const log_line& line : log_lines_since(before)) {
        if (line.message.find(L"DIRTY") != std::wstring::npos) dirty.push_back(line);
    }
    EXPECT_EQ(dirty,
              (std::vector<log_line>{
                  {32, L"[system_tray_menu_interface:set_tray_item_name] DIRTY: k_tray_item_paused_info"},
                  {32, L"[system_tray_menu_interface:set_tray_item_checked] DIRTY: "
                       L"k_tray_item_preferences_start_at_login"},
                  {32, L"[system_tray_menu_interface:set_tray_item_enabled] DIRTY: k_tray_item_quit"},
                  {32, L"[system_tray_menu_interface:set_tray_item_visible] DIRTY: "
                       L"k_tray_item_enterprise_logging_status | k_tray_item_begin"}}));
}

TEST_F(TrayMenuTest, EnumeratorNamesCoverEveryIdAndNothingElse) {
    EXPECT_EQ(tray_item_name(0), L"k_tray_item_enterprise_logging_status | k_tray_item_begin");
    EXPECT_EQ(tray_item_name(4), L"k_trak_item_separator_enterprise_personal");
    EXPECT_EQ(tray_item_name(45), L"k_tray_item_quit");
    EXPECT_EQ(tray_item_name(46), L"k_number_of_tray_items | k_tray_item_invalid");
    EXPECT_EQ(tray_item_name(47), L"unknown tray item");
    EXPECT_EQ(tray_item_name(-1), L"unknown tray item");
}

// A menu of its own for the rendering rules: the agent's items all hidden,
// then the test's items added behind them.
class bare_menu : public recording_tray_menu {
public:
    bare_menu() {
        for (int id = k_tray_item_begin; id < k_number_of_tray_items; ++id) {
            if (id != k_tray_item_separator_actions && id != k_tray_item_preferences_sign_out) {
                set_tray_item_visible(id, false);
            }
        }
    }
};

TEST_F(TrayMenuTest, RenderingDropsLeadingAndDoubledSeparatorsAndHiddenSubtrees) {
    bare_menu menu;
    EXPECT_TRUE(menu.render().empty());
    menu.add_item(100, L"", k_tray_item_invalid, true, true, false);
    menu.add_item(101, L"First", k_tray_item_invalid, true, true, false);
    menu.add_item(102, L"", k_tray_item_invalid, true, true, false);
    menu.add_item(103, L"", k_tray_item_invalid, true, true, false);
    menu.add_item(104, L"Second", k_tray_item_invalid, true, false, true);
    const auto shown = menu.render();
    EXPECT_EQ(ids_of(shown), (std::vector<int>{101, 102, 104}));
    EXPECT_TRUE(shown[1].separator);
    EXPECT_EQ(shown[2].text, L"Second");
    EXPECT_FALSE(shown[2].enabled);
    EXPECT_TRUE(shown[2].checked);

    // Submenus follow the same rule; a hidden parent takes its children with it.
    menu.add_item(110, L"Parent", k_tray_item_invalid, true, true, false);
    menu.add_item(111, L"", 110, true, true, false);
    menu.add_item(112, L"Child", 110, true, true, false);
    menu.add_item(113, L"Hidden child", 110, false, true, false);
    menu.add_item(114, L"", 110, true, true, false);
    menu.add_item(120, L"Grandchild", 112, true, true, false);  // below a child: dropped
    menu.add_item(121, L"Orphan", 999, true, true, false);      // no such parent: dropped
    const auto with_parent = menu.render();
    ASSERT_EQ(ids_of(with_parent), (std::vector<int>{101, 102, 104, 110}));
    EXPECT_TRUE(with_parent[3].has_submenu);
    // A trailing separator stays, as it does at the top level.
    EXPECT_EQ(ids_of(with_parent[3].children), (std::vector<int>{112, 114}));
    EXPECT_THROW(menu.find_item(120), std::runtime_error);
    EXPECT_THROW(menu.find_item(121), std::runtime_error);

    menu.set_tray_item_visible(110, false);
    EXPECT_EQ(ids_of(menu.render()), (std::vector<int>{101, 102, 104}));
}

class counting_listener : public system_tray_menu_listener {
public:
    void on_menu_action(int id) override { selected.push_back(id); }
    std::vector<int> selected;
};

TEST_F(TrayMenuTest, SelectionsReachTheListenerOnceOneIsSet) {
    recording_tray_menu menu;
    menu.notify_listener(k_tray_item_quit);  // nobody listens yet: nothing happens
    counting_listener listener;
    menu.set_listener(&listener);
    menu.notify_listener(k_tray_item_quit);
    EXPECT_EQ(listener.selected, std::vector<int>{k_tray_item_quit});
}

TEST_F(TrayMenuTest, TheEventThreadAndTheMainThreadShareTheTreeSafely) {
    config::instance().set_debug_log_level(1);  // the DIRTY lines would dominate the run
    recording_tray_menu menu;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int round = 0; round < 2000; ++round) {
            menu.set_tray_item_name(k_tray_item_paused_info, L"Paused for " + std::to_wstring(round) + L" minutes");
            menu.set_tray_item_visible(k_tray_item_paused_info, round % 2 == 0);
            menu.refresh_if_dirty();
        }
        done = true;
    });
    std::size_t renders = 0;
    while (!done) {
        for (const auto& item : menu.render()) {
            if (item.id == k_tray_item_paused_info) {
                EXPECT_EQ(item.text.rfind(L"Paused for ", 0), 0u);
            }
        }
        ++renders;
    }
    writer.join();
    EXPECT_GT(renders, 0u);
    EXPECT_GE(menu.show_count(), 1);
}

}  // namespace
}  // namespace kes
