#include "gui/osx_system_tray_menu.h"

#include "core/foundation/debug_log.h"
#include "platform/main_queue.h"

#include <QAction>
#include <QMenu>

#include <functional>

namespace kes {
namespace {

constexpr const char* item_id_property = "kes_item_id";

// Titles are shown as written: an ampersand is no mnemonic marker here.
QString menu_title(const std::wstring& text) {
    return QString::fromStdWString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// A choice runs as a main-queue task: the action that was chosen has
// returned before anything it starts (a rebuild, an alert) runs.
using choice_handler = std::function<void(int id)>;

void add_items(QMenu& menu, const std::vector<rendered_menu_item>& items, const choice_handler& chosen) {
    for (const rendered_menu_item& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (item.has_submenu) {
            QMenu* submenu = menu.addMenu(menu_title(item.text));
            submenu->setObjectName(QStringLiteral("tray_menu_%1").arg(item.id));
            add_items(*submenu, item.children, chosen);
            action = submenu->menuAction();
        } else {
            action = menu.addAction(menu_title(item.text));
            const int id = item.id;
            const bool checked = item.checked;
            QObject::connect(action, &QAction::triggered, action, [action, chosen, id, checked] {
                // The toolkit flips a switch's box on a click; the box shows
                // what the model says, which changes only when the switch
                // really turned (a rebuild draws that).
                action->setChecked(checked);
                chosen(id);
            });
        }
        action->setObjectName(QStringLiteral("tray_item_%1").arg(item.id));
        action->setProperty(item_id_property, item.id);
        action->setEnabled(item.enabled);
        action->setCheckable(item.checkable);
        action->setChecked(item.checked);
    }
}

}  // namespace

osx_system_tray_menu::osx_system_tray_menu(QMenu& menu, platform::main_queue& queue)
    : menu_(&menu), queue_(queue), self_(std::make_shared<osx_system_tray_menu*>(this)) {}

osx_system_tray_menu::~osx_system_tray_menu() {
    // The drawn actions call back into this object.
    if (menu_) menu_->clear();
}

void osx_system_tray_menu::show() {
    std::weak_ptr<osx_system_tray_menu*> self = self_;
    queue_.async([self] {
        if (const auto alive = self.lock()) (*alive)->rebuild();
    });
}

void osx_system_tray_menu::rebuild() {
    if (!menu_) return;
    std::vector<rendered_menu_item> wanted = render();
    // Drawing anew loses the highlight of an open menu and costs the main
    // thread for nothing when nothing shown changed.
    if (!menu_->actions().isEmpty() && wanted == drawn_) return;
    // Submenus are children of the menu: clearing it ends them too.
    for (QMenu* submenu : menu_->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) submenu->deleteLater();
    menu_->clear();
    std::weak_ptr<osx_system_tray_menu*> self = self_;
    platform::main_queue& queue = queue_;
    add_items(*menu_, wanted, [self, &queue](int id) {
        queue.async([self, id] {
            if (const auto alive = self.lock()) (*alive)->notify_listener(id);
        });
    });
    drawn_ = std::move(wanted);
    if (menu_->actions().isEmpty()) {
        log(L"No menu items were added to the menu.", log_level::user2_error);
    }
}

int osx_system_tray_menu::item_id_of(const QAction& action) {
    const QVariant id = action.property(item_id_property);
    return id.isValid() ? id.toInt() : -1;
}

}  // namespace kes
