#pragma once
// The status menu drawn into the status item's QMenu. Every rebuild runs on
// the main thread from the model's rendering (hidden items gone, separators
// never leading or doubled); choosing an entry tells the menu's listener its
// item id, in a main-queue task of its own. `show` may be called from any
// thread and returns at once.

#include "core/ui/system_tray_menu.h"

#include <QPointer>

#include <memory>

class QAction;
class QMenu;

namespace platform {
class main_queue;
}

namespace kes {

class osx_system_tray_menu : public system_tray_menu_interface {
public:
    // `menu` belongs to the status item and outlives this object's use of it.
    osx_system_tray_menu(QMenu& menu, platform::main_queue& queue);
    ~osx_system_tray_menu() override;

    void show() override;

    // The drawing itself (main thread): empties the menu and fills it again,
    // unless it would draw what it shows (a change to a hidden item).
    void rebuild();

    // The item id an action of the drawn menu stands for; -1 for other actions.
    static int item_id_of(const QAction& action);

private:
    QPointer<QMenu> menu_;
    std::vector<rendered_menu_item> drawn_;  // main thread
    platform::main_queue& queue_;
    // Tasks queued by `show` run only while this object lives.
    std::shared_ptr<osx_system_tray_menu*> self_;
};

}  // namespace kes
