#include "osx/osx_ui.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "platform/main_queue.h"

namespace kes {
namespace {

// With no window system the menu has nowhere to be drawn.
class headless_tray_menu : public system_tray_menu_interface {
public:
    void show() override {}
};

}  // namespace

ui* ui::get_instance() {
    static ui* instance = [] {
        auto* created = new osx_ui();  // lives until the process ends
        created->init();
        return created;
    }();
    return instance;
}

osx_ui::osx_ui() = default;

osx_ui::osx_ui(seams with) : ui(std::move(with)) {}

osx_ui::~osx_ui() = default;

void osx_ui::init() {
    if (!tray_menu_) tray_menu_ = std::make_unique<headless_tray_menu>();
    tray_menu_->set_tray_item_visible(k_tray_item_preferences_start_at_login, true);
    tray_menu_->set_tray_item_visible(k_tray_item_separator_start_at_login, true);
    ui::init();
}

int osx_ui::run_gui() {
    // There is no main window to load: the loop starts serving the user now.
    config::instance().set_gui_loaded(true);
    return platform::main_queue::instance().run();
}

void osx_ui::ux_open_url(const std::wstring& address) {
    // The query may carry the account key: only the page is logged.
    log(L"[osx_ui:ux_open_url] " + address.substr(0, address.find(L'?')), log_level::ui);
}

void osx_ui::ux_set_tray_icon(int state) { tray_icon_state_.store(state); }

int osx_ui::get_tray_icon() { return tray_icon_state_.load(); }

void osx_ui::quit() { platform::main_queue::instance().quit(0); }

}  // namespace kes
