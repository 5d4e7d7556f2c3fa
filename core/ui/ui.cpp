#include "core/ui/ui.h"

#include "core/capture/daemon.h"
#include "core/capture/log_entry.h"
#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/installed_factory.h"
#include "core/foundation/system.h"
#include "core/service/api.h"
#include "core/service/puller.h"
#include "core/service/transfer_stop.h"
#include "core/foundation/text_table.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

#include <algorithm>
#include <cmath>

namespace kes {
namespace {

// Beyond a year of idle time the counter is broken, not the user away.
constexpr double max_idle_seconds = 366.0 * 24 * 3600;

installed_factory<std::unique_ptr<ui>>& ui_factory() {
    static auto* const factory = new installed_factory<std::unique_ptr<ui>>("kes::ui");
    return *factory;
}

}  // namespace

ui* ui::get_instance() {
    static ui* const instance = [] {
        std::unique_ptr<ui> made = ui_factory().make();
        made->init();
        return made.release();  // lives until the process ends
    }();
    return instance;
}

void ui::install_factory(factory make) { ui_factory().install(std::move(make)); }

ui::ui() : ui(seams{}) {}

ui::ui(seams with)
    : configuration_(&config::instance()),
      platform_system_(with.platform_system ? std::move(with.platform_system) : system::create()),
      service_client_(with.service_client ? *with.service_client : Kestrel::Network::API::get_instance()),
      wait_for_stop_(with.wait_for_stop ? std::move(with.wait_for_stop)
                                        : std::function<bool(std::chrono::milliseconds)>(&daemon::wait_for_ui_stop)),
      run_focus_request_(std::move(with.run_focus_request)),
      record_activity_(with.record_activity ? std::move(with.record_activity)
                                            : [](const log_entry& record) { logger::get_instance().log(record); }) {
    if (!run_focus_request_) {
        run_focus_request_ = [this](std::function<void()> request) {
            if (!focus_requests_.post(std::move(request))) {
                log(L"[ui:request_focus_session] The request was not run: the UI is ending.", log_level::error);
            }
        };
    }
    log(L"[common_ui]ctor", log_level::ctor);
}

ui::~ui() {
    // The platform's destructor should have done this while its slots still
    // existed; no request thread may outlive the object it works for.
    finish_requests();
    log(L"[common_ui]dtor", log_level::ctor);
}

void ui::finish_requests() {
    finish_sign_in();
    focus_requests_.finish();
}

void ui::init() {
    log(L"[common_ui]init", log_level::ui);
    if (system_tray_menu_interface* menu = get_tray_menu()) menu->set_listener(this);
}

void ui::show_alert(const std::wstring&, const std::wstring&) {}
bool ui::ask_confirmation(const std::wstring&, const std::wstring&) { return false; }
void ui::check_for_updates_now() {}
void ui::ux_set_tray_icon(int) {}
int ui::get_tray_icon() { return tray_icon::normal; }
void ui::set_status_message(const std::wstring&) {}
std::wstring ui::get_username() { return {}; }
std::wstring ui::get_password() { return {}; }
std::wstring ui::ask_two_factor_code(const std::wstring&) { return {}; }
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

bool ui::wait_for_stop(std::chrono::milliseconds duration) { return wait_for_stop_(duration); }

std::int64_t ui::idle_seconds() {
    const double idle = platform_system_->get_idle_time();
    if (!std::isfinite(idle) || idle <= 0) return 0;
    return static_cast<std::int64_t>(std::min(idle, max_idle_seconds));
}

ui::away_period ui::get_away_period() const {
    std::lock_guard<std::mutex> lock(away_mutex_);
    return away_;
}

void ui::end_away_period() {
    std::lock_guard<std::mutex> lock(away_mutex_);
    away_.since = boost::posix_time::not_a_date_time;
}

ui::away_period ui::take_away_period() {
    std::lock_guard<std::mutex> lock(away_mutex_);
    away_period taken = away_;
    away_.since = boost::posix_time::not_a_date_time;
    return taken;
}

void ui::on_show_still_zone_window() { show_still_zone_window(); }

bool ui::accepts_focus_length(int minutes) {
    if (minutes == 0 || minutes == -1 || (minutes >= 1 && minutes <= 1440)) return true;
    log(L"[ui:on_get_focused] Ignoring request to start Stillzone, minutes(" + std::to_wstring(minutes) +
            L") not in range 1 to 1440",
        log_level::ui_error);
    set_still_zone_minutes(30);
    return false;
}

void ui::on_get_focused(int minutes) { (void)run_focus_request(minutes); }

void ui::request_focus_session(int minutes) {
    if (!accepts_focus_length(minutes)) return;
    run_focus_request_([this, minutes] {
        if (run_focus_request(minutes) != focus_outcome::failed) return;
        // An agent that is ending aborted the request itself: nobody waits
        // for the answer any more.
        if (network::is_stopped(network::installed_transfer_stop())) return;
        show_alert(get_text(L"stillzone_alert_error_not_started"), L"Kestrel");
    });
}

ui::focus_outcome ui::run_focus_request(int minutes) {
    if (minutes == 0) {
        end_focus_session();
        return focus_outcome::ended;
    }
    if (!accepts_focus_length(minutes)) return focus_outcome::refused;
    log(L"[ui:on_get_focused] get focused for minutes: " + std::to_wstring(minutes), log_level::ui_error);
    if (minutes == -1) {
        const boost::posix_time::ptime now = configuration_->local_now();
        const boost::posix_time::ptime midnight(now.date() + boost::gregorian::days(1));
        // Less than a minute before midnight still asks the service for a
        // session it accepts.
        minutes = std::max(1, static_cast<int>((midnight - now).total_seconds() / 60));
    }
    log(L"[ui:on_get_focused] Stillzone enabled for " + std::to_wstring(minutes) + L" minutes",
        log_level::focus_session);
    // The window is told outside the session lock: a platform call must
    // never wait while the lock is held.
    hide_still_zone_window();

    std::lock_guard<std::mutex> lock(focus_mutex_);
    if (make_puller()->update_blocked_list_start_stillzone(minutes)) {
        configuration_->set_blocking_until(configuration_->local_now() + boost::posix_time::minutes(minutes));
        return focus_outcome::started;
    }
    log(L"[ui:on_get_focused] Unable to pull blocked list to enable Stillzone.", log_level::error);
    end_focus_session_locked();
    return focus_outcome::failed;
}

void ui::end_focus_session() {
    std::lock_guard<std::mutex> lock(focus_mutex_);
    end_focus_session_locked();
}

void ui::end_focus_session_locked() {
    configuration_->set_blocking_until(configuration_->local_now() - boost::posix_time::seconds(60));
    make_puller()->update_blocked_list_stop_stillzone();
}

}  // namespace kes
