#include "gui/desktop_ui.h"

#include "gui/KestrelController.h"
#include "gui/osx_system_tray_menu.h"
#include "platform/qt/qt_status_item.h"

#include <QMenu>

namespace kes {

osx_ui_services make_desktop_ui_services(platform::desktop desktop, platform::main_queue& queue) {
    osx_ui_services services;
    services.queue = &queue;
    services.desktop = std::move(desktop);
    const std::shared_ptr<platform::status_item> status = services.desktop.status;
    services.make_tray_menu = [status, &queue]() -> std::unique_ptr<system_tray_menu_interface> {
        auto* item = dynamic_cast<platform::qt_status_item*>(status.get());
        if (!item) return nullptr;
        return std::make_unique<osx_system_tray_menu>(item->menu(), queue);
    };
    services.run_application = [](osx_ui& bridge) { return KestrelController::runGui(bridge); };
    return services;
}

}  // namespace kes
