#include "core/ui/ui.h"

#include "core/capture/daemon.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/service/puller.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

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

void ui::set_puller_factory(puller_factory factory) {
    std::lock_guard<std::mutex> lock(puller_factory_mutex_);
    puller_factory_ = std::move(factory);
}

std::unique_ptr<puller> ui::make_puller() const {
    {
        std::lock_guard<std::mutex> lock(puller_factory_mutex_);
        if (puller_factory_) return puller_factory_();
    }
    return std::make_unique<puller>();
}

void ui::on_get_focused(int minutes) {
    if (minutes == 0) {
        end_focus_session();
        return;
    }
    if (minutes != -1 && (minutes < 1 || minutes > 1440)) {
        log(L"[ui:on_get_focused] Ignoring request to start Stillzone, minutes(" + std::to_wstring(minutes) +
                L") not in range 1 to 1440",
            log_level::error | log_level::ui);
        set_still_zone_minutes(30);
        return;
    }
    log(L"[ui:on_get_focused] get focused for minutes: " + std::to_wstring(minutes), log_level::error | log_level::ui);
    if (minutes == -1) {
        const boost::posix_time::ptime now = configuration_->local_now();
        const boost::posix_time::ptime midnight(now.date() + boost::gregorian::days(1));
        minutes = static_cast<int>((midnight - now).total_seconds() / 60);
    }
    log(L"[ui:on_get_focused] Stillzone enabled for " + std::to_wstring(minutes) + L" minutes",
        log_level::ui | log_level::service | log_level::url);
    hide_still_zone_window();
    if (make_puller()->update_blocked_list_start_stillzone(minutes)) {
        configuration_->set_blocking_until(configuration_->local_now() + boost::posix_time::minutes(minutes));
    } else {
        log(L"[ui:on_get_focused] Unable to pull blocked list to enable Stillzone.", log_level::error);
        end_focus_session();
    }
}

void ui::end_focus_session() {
    configuration_->set_blocking_until(configuration_->local_now() - boost::posix_time::seconds(60));
    make_puller()->update_blocked_list_stop_stillzone();
}

void ui::init_common() { log(L"[common_ui]init", log_level::ui); }

void ui::event_handler() {
    // The periodic work of the UI thread arrives with the status menu; until
    // then the thread only waits for the daemon's stop.
    daemon::wait_for_ui_stop(std::chrono::milliseconds(2500));
    while (daemon::wait_for_ui_stop(std::chrono::milliseconds(500))) {
    }
}

}  // namespace kes
