#include "osx/osx_ui.h"

#include "core/foundation/debug_log.h"
#include "platform/main_queue.h"

namespace kes {

ui* ui::get_instance() {
    static ui* instance = [] {
        auto* created = new osx_ui();  // lives until the process ends
        created->init();
        return created;
    }();
    return instance;
}

osx_ui::osx_ui() = default;

void osx_ui::init() { init_common(); }

int osx_ui::run_gui() { return platform::main_queue::instance().run(); }

void osx_ui::ux_open_url(const std::wstring& address) {
    log(L"[osx_ui:ux_open_url] " + address, log_level::ui);
}

void osx_ui::quit() { platform::main_queue::instance().quit(0); }

}  // namespace kes
