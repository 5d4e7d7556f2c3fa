#include "core/ui/ui.h"

#include "core/capture/daemon.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"

#include <chrono>

namespace kes {

ui::ui() : configuration_(&config::instance()), platform_system_(system::create()) {
    log(L"[common_ui]ctor", log_level::ctor);
}

ui::~ui() { log(L"[common_ui]dtor", log_level::ctor); }

void ui::on_menu_action(int) {}
void ui::show_alert(const std::wstring&, const std::wstring&) {}
bool ui::ask_confirmation(const std::wstring&, const std::wstring&) { return false; }
void ui::check_for_updates_now() {}
void ui::ux_set_tray_icon(int) {}
int ui::get_tray_icon() { return tray_icon::normal; }
void ui::set_status_message(const std::wstring&) {}
std::wstring ui::get_username() { return {}; }
std::wstring ui::get_password() { return {}; }
std::wstring ui::ask_two_factor_code() { return {}; }
std::wstring ui::get_computer_brand() { return {}; }
std::wstring ui::get_computer_make() { return {}; }
std::wstring ui::get_computer_model() { return {}; }
std::wstring ui::get_platform_version() { return {}; }
void ui::show_user_notification(const std::wstring&) {}
void ui::on_blocked_item_focused(const std::wstring&) {}
void ui::on_unblocked_item_focused(const std::wstring&) {}
void ui::no_op_33() {}
bool ui::ux_toggle_start_at_login() { return false; }

void ui::init_common() { log(L"[common_ui]init", log_level::ui); }

void ui::event_handler() {
    // The periodic work of the UI thread arrives with the status menu; until
    // then the thread only waits for the daemon's stop.
    daemon::wait_for_ui_stop(std::chrono::milliseconds(2500));
    while (daemon::wait_for_ui_stop(std::chrono::milliseconds(500))) {
    }
}

}  // namespace kes
