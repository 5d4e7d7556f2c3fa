#include "core/foundation/config.h"

#include "core/foundation/debug_log.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {

bool config::is_authenticated() {
    // Activation with the web service arrives with the service client.
    return authenticated_.load();
}

bool config::has_identity_changed() {
    std::lock_guard<std::mutex> lock(data_mutex_);
    if (last_account_key_.empty()) last_account_key_ = account_key_;
    if (last_os_username_.empty()) last_os_username_ = os_username_;
    if (last_computer_name_.empty()) last_computer_name_ = computer_name_;
    if (last_account_key_ == account_key_ && last_os_username_ == os_username_ &&
        last_computer_name_ == computer_name_) {
        log(L"[config:has_identity_changed]identity has not changed", log_level::debug);
        return false;
    }
    log(L"[config:has_identity_changed]identity has changed!", log_level::warning);
    last_account_key_ = account_key_;
    last_os_username_ = os_username_;
    last_computer_name_ = computer_name_;
    return true;
}

bool config::is_paused() const { return local_now() < get_paused_until(); }

bool config::is_logging_allowed_now() const {
    const ptime now = local_now();
    if (now < get_paused_until()) return false;
    if (get_logging_schedule_enabled()) {
        const int weekday = now.date().day_of_week().as_number();
        if ((get_logging_scheduled_days() & (1u << weekday)) == 0) return false;
        const time_duration time_of_day = now.time_of_day();
        const time_duration start = get_logging_scheduled_start_hour();
        const time_duration stop = get_logging_scheduled_stop_hour();
        if (!start.is_special() && time_of_day < start) return false;
        if (!stop.is_special() && stop < time_of_day) return false;
    }
    return get_logging_enabled();
}

bool config::is_blocking() const {
    return get_blocking_enabled() && get_blocking_until() >= local_now();
}

bool config::is_blocking_activities() const { return get_blocking_always() || is_blocking(); }

void config::set_blocking_enabled(bool enabled) {
    blocking_enabled_.store(enabled);
    if (!enabled) {
        const ptime now = local_now();
        const ptime until = now - boost::posix_time::seconds(60);
        write(blocking_until_, until);
        blocking_enabled_.store(now < until);
    }
    save();
}

void config::set_blocking_until(ptime until) {
    write(blocking_until_, until);
    blocking_enabled_.store(local_now() < until);
    save();
}

void config::set_blocked_items(std::vector<std::wstring> items) {
    write(blocked_items_, std::move(items));
    save();
}

}  // namespace kes
