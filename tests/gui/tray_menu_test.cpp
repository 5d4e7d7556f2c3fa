// The status menu drawn into a QMenu: what the toolkit holds equals the
// model's rendering, and every entry tells the listener its item id.
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/ui/tray_items.h"
#include "gui/osx_system_tray_menu.h"
#include "tests/support_qt/qt_test_fixture.h"
#include "tests/ui/debug_log_lines.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>

#include <thread>

namespace kes {
namespace {

struct id_listener : system_tray_menu_listener {
    std::vector<int> ids;
    void on_menu_action(int item_id) override { ids.push_back(item_id); }
};

// The toolkit's menu, read back in the rendering's own terms.
std::vector<rendered_menu_item> read_back(const QMenu& menu) {
    std::vector<rendered_menu_item> items;
    for (QAction* action : menu.actions()) {
        rendered_menu_item item;
        item.id = osx_system_tray_menu::item_id_of(*action);
        item.separator = action->isSeparator();
        if (!item.separator) {
            // Shown as written: a doubled ampersand is one ampersand on screen.
            item.text = action->text().replace(QLatin1String("&&"), QLatin1String("&")).toStdWString();
            item.enabled = action->isEnabled();
            item.checked = action->isCheckable() && action->isChecked();
            item.checkable = action->isCheckable();
            if (QMenu* submenu = action->menu()) {
                item.has_submenu = true;
                item.children = read_back(*submenu);
            }
        } else {
            item.id = k_tray_item_invalid;
        }
        items.push_back(item);
    }
    return items;
}

// The rendering with separators anonymous, as the toolkit keeps them.
std::vector<rendered_menu_item> comparable(std::vector<rendered_menu_item> items) {
    for (rendered_menu_item& item : items) {
        if (item.separator) item = rendered_menu_item{k_tray_item_invalid, true, {}, true, false, false, false, {}};
        item.children = comparable(item.children);
    }
    return items;
}

bool same(const std::vector<rendered_menu_item>& a, const std::vector<rendered_menu_item>& b, std::wstring& why) {
    if (a.size() != b.size()) {
        why = L"sizes " + std::to_wstring(a.size()) + L" and " + std::to_wstring(b.size());
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto& x = a[i];
        const auto& y = b[i];
        if (x.id != y.id || x.separator != y.separator || x.text != y.text || x.enabled != y.enabled ||
            x.checked != y.checked || x.checkable != y.checkable || x.has_submenu != y.has_submenu) {
            why = L"entry " + std::to_wstring(i) + L": " + x.text + L" / " + y.text;
            return false;
        }
        if (!same(x.children, y.children, why)) return false;
    }
    return true;
}

class TrayMenu : public platform::testing::QtLoopTest {
protected:
    TrayMenu() {
        model_->set_listener(&listener_);
        config::instance().set_debug_log_level(0xFFFF);
    }
    ~TrayMenu() override { config::instance().set_debug_log_level(1); }

    void expect_drawn_as_rendered() {
        std::wstring why;
        EXPECT_TRUE(same(read_back(menu_), comparable(model_->render()), why)) << std::string(why.begin(), why.end());
    }

    QMenu menu_;
    std::unique_ptr<osx_system_tray_menu> model_ = std::make_unique<osx_system_tray_menu>(menu_, queue);
    id_listener listener_;
};

TEST_F(TrayMenu, TheDrawnMenuIsTheModelsRenderingWithItsChecksAndSubmenus) {
    model_->set_tray_item_visible(k_tray_item_preferences_start_at_login, true);
    model_->set_tray_item_visible(k_tray_item_separator_start_at_login, true);
    model_->set_tray_item_checked(k_tray_item_preferences_start_at_login, true);
    model_->set_tray_item_enabled(k_tray_item_quit, false);
    model_->set_tray_item_visible(k_tray_item_focus, false);  // and its submenu
    model_->set_tray_item_visible(k_tray_item_pause, false);  // two separators would meet here
    std::thread([&] { model_->refresh_if_dirty(); }).join();  // from the UI thread
    EXPECT_TRUE(menu_.actions().isEmpty());                    // drawn on the main thread only
    queue.run_pending();
    expect_drawn_as_rendered();

    const QAction* goals = menu_.findChild<QAction*>("tray_item_10");
    ASSERT_NE(goals, nullptr);
    EXPECT_EQ(goals->text(), QStringLiteral("Goals && Alerts..."));  // no mnemonic
    EXPECT_EQ(menu_.findChild<QAction*>("tray_item_21"), nullptr);
    EXPECT_FALSE(menu_.findChild<QAction*>("tray_item_45")->isEnabled());
    const QAction* login = menu_.findChild<QMenu*>("tray_menu_36")->findChild<QAction*>("tray_item_39");
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(login->isChecked());
    int separators_in_a_row = 0;
    for (const QAction* action : menu_.actions()) {
        separators_in_a_row = action->isSeparator() ? separators_in_a_row + 1 : 0;
        EXPECT_LT(separators_in_a_row, 2);
    }
    EXPECT_FALSE(menu_.actions().front()->isSeparator());
}

// A switch without its box when off reads as a command, and a click must not
// show a state the switch did not take.
TEST_F(TrayMenu, StartAtLoginShowsItsBoxOffAndOnAndAClickShowsOnlyWhatTheModelSays) {
    model_->set_tray_item_visible(k_tray_item_preferences_start_at_login, true);
    model_->refresh_if_dirty();
    queue.run_pending();
    const auto login = [this] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the submenu drawn before
        return menu_.findChild<QMenu*>("tray_menu_36")->findChild<QAction*>("tray_item_39");
    };
    ASSERT_NE(login(), nullptr);
    EXPECT_TRUE(login()->isCheckable());
    EXPECT_FALSE(login()->isChecked());
    expect_drawn_as_rendered();

    // Chosen, but turning it on failed: the model, and so the box, stays off.
    login()->trigger();
    queue.run_pending();
    EXPECT_EQ(listener_.ids, std::vector<int>{k_tray_item_preferences_start_at_login});
    model_->refresh_if_dirty();
    queue.run_pending();
    EXPECT_FALSE(login()->isChecked());

    for (const bool on : {true, false}) {
        model_->set_tray_item_checked(k_tray_item_preferences_start_at_login, on);
        model_->refresh_if_dirty();
        queue.run_pending();
        EXPECT_TRUE(login()->isCheckable()) << on;
        EXPECT_EQ(login()->isChecked(), on);
        expect_drawn_as_rendered();
    }
    // Other entries are commands: no box.
    EXPECT_FALSE(menu_.findChild<QAction*>("tray_item_45")->isCheckable());
}

TEST_F(TrayMenu, EveryEntryTellsTheListenerItsIdAndARebuildDropsTheOldEntries) {
    model_->show();
    queue.run_pending();
    menu_.findChild<QAction*>("tray_item_45")->trigger();
    menu_.findChild<QMenu*>("tray_menu_21")->findChild<QAction*>("tray_item_23")->trigger();
    menu_.findChild<QMenu*>("tray_menu_15")->findChild<QAction*>("tray_item_18")->trigger();
    EXPECT_TRUE(listener_.ids.empty());  // each choice is a task of its own
    queue.run_pending();
    EXPECT_EQ(listener_.ids, (std::vector<int>{45, 23, 18}));

    model_->set_tray_item_name(k_tray_item_help, L"Hilfe \u2026");
    model_->refresh_if_dirty();
    queue.run_pending();
    expect_drawn_as_rendered();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(menu_.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly).size(), 4);  // no stale submenus
    EXPECT_EQ(menu_.findChild<QAction*>("tray_item_7")->text(), QStringLiteral("Hilfe \u2026"));
}

TEST_F(TrayMenu, AnEmptyMenuIsLoggedAndAnEndedModelLeavesNoEntries) {
    const std::size_t offset = debug_log_read().size();
    for (const tray_menu_item& item : model_->items()) model_->set_tray_item_visible(item.id, false);
    model_->refresh_if_dirty();
    queue.run_pending();
    EXPECT_TRUE(menu_.actions().isEmpty());
    const auto lines = testing::log_lines_since(offset);
    EXPECT_NE(std::find(lines.begin(), lines.end(), testing::log_line{8193, L"No menu items were added to the menu."}),
              lines.end());

    for (const tray_menu_item& item : model_->items()) model_->set_tray_item_visible(item.id, true);
    model_->refresh_if_dirty();
    model_.reset();        // a rebuild still queued finds no model
    queue.run_pending();
    EXPECT_TRUE(menu_.actions().isEmpty());
}

TEST_F(TrayMenu, AChangeNobodySeesDrawsNothingAndAChangeShownDrawsOnce) {
    model_->show();
    queue.run_pending();
    const QList<QAction*> drawn = menu_.actions();
    ASSERT_FALSE(drawn.isEmpty());
    // A hidden item's text changes: the model is dirty, the menu looks the same.
    model_->set_tray_item_name(k_tray_item_take_survey, L"Another survey");
    ASSERT_TRUE(model_->is_dirty());
    model_->refresh_if_dirty();
    queue.run_pending();
    EXPECT_EQ(menu_.actions(), drawn);  // the very same entries: not drawn again
    model_->show();                     // nothing changed at all
    queue.run_pending();
    EXPECT_EQ(menu_.actions(), drawn);

    model_->set_tray_item_visible(k_tray_item_take_survey, true);
    model_->refresh_if_dirty();
    queue.run_pending();
    EXPECT_NE(menu_.actions(), drawn);
    expect_drawn_as_rendered();
    EXPECT_EQ(menu_.findChild<QAction*>("tray_item_12")->text(), QStringLiteral("Another survey"));
}

}  // namespace
}  // namespace kes
