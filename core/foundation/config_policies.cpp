#include "core/foundation/config.h"

#include "core/foundation/activation_service.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {

namespace {

// The service reports failures as results; anything it throws anyway is a
// failure of the service too, and must not reach the calling thread's loop.
template <class Call>
activation_result call_service(Call&& call) {
    try {
        return call();
    } catch (const std::exception& e) {
        activation_result failed;
        failed.message = util::utf8_to_wstring_lossy(e.what());
        return failed;
    } catch (...) {
        return activation_result{};
    }
}

}  // namespace

void config::set_activation_service(std::shared_ptr<activation_service> service) {
    write(activation_service_, std::move(service));
}

bool config::is_authenticated() {
    if (authenticated_.load()) return true;
    if (!identity_dirty_.load()) return false;
    const std::shared_ptr<activation_service> service = read(activation_service_);
    if (!service) return false;  // asked again once the service client is set

    std::lock_guard<std::mutex> one_at_a_time(activation_mutex_);
    // A caller that waited here reads what the one before it found out.
    if (authenticated_.load()) return true;
    if (!identity_dirty_.load()) return false;
    return ask_service_about_identity(*service);
}

bool config::confirm_authentication() {
    const std::shared_ptr<activation_service> service = read(activation_service_);
    if (!service) return authenticated_.load();
    // Under the lock, so that no check already under way, begun before the
    // new account was stored, answers for this one.
    std::lock_guard<std::mutex> one_at_a_time(activation_mutex_);
    if (authenticated_.load()) return true;
    return ask_service_about_identity(*service);
}

bool config::ask_service_about_identity(activation_service& service) {
    // Cleared before asking: a change of identity while the request is out
    // marks it dirty again, and the next check asks about that one.
    identity_dirty_.store(false);
    const std::wstring team_key = get_enterprise_team_key();
    if (!team_key.empty() && get_account_key().empty()) {
        const activation_result enrolled = call_service([&] { return service.activate_enterprise(team_key); });
        if (enrolled.result == activation_result::outcome::success) {
            set_account_key(enrolled.account_key);
        } else {
            log(L"[config::is_authenticated] Caught Kestrel::Network::Exception", log_level::caught_service);
            set_status_message(enrolled.message, 4);
        }
    }

    if (get_account_key().empty()) {
        // The identity stays dirty, so the next call tries again.
        identity_dirty_.store(true);
        log(L"[config::is_authenticated] get_account_key() == \"\": return false", log_level::service);
        return false;
    }

    log(L"[config::is_authenticated] sending activate message request.", log_level::service);
    const activation_result activated = call_service([&] { return service.activate_silent(); });
    switch (activated.result) {
        case activation_result::outcome::success:
            log(L"[config::is_authenticated] activate message successful response.", log_level::service);
            authenticated_.store(true);
            set_status_message(get_text(L"status_message_activation_success"), 0);
            break;
        case activation_result::outcome::invalid_key:
            log(L"[config::is_authenticated] Caught Kestrel::Network::InvalidKey", log_level::caught_service);
            set_status_message(activated.message, 4);
            set_account_key(L"");
            set_data_key(L"");
            break;
        case activation_result::outcome::service_error:
            log(L"[config::is_authenticated] Caught Kestrel::Network::Exception", log_level::caught_service);
            set_status_message(activated.message, 4);
            break;
    }

    const bool authenticated = authenticated_.load();
    log(std::wstring(L"[config::is_authenticated] returning: ") + (authenticated ? L"1" : L"0"), log_level::service);
    return authenticated;
}

bool config::has_identity_changed() {
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(data_mutex_);
        if (last_account_key_.empty()) last_account_key_ = account_key_;
        if (last_os_username_.empty()) last_os_username_ = os_username_;
        if (last_computer_name_.empty()) last_computer_name_ = computer_name_;
        changed = last_account_key_ != account_key_ || last_os_username_ != os_username_ ||
                  last_computer_name_ != computer_name_;
        if (changed) {
            last_account_key_ = account_key_;
            last_os_username_ = os_username_;
            last_computer_name_ = computer_name_;
        }
    }
    // Logged outside the lock: the debug log reads settings of this store.
    if (changed) {
        log(L"[config:has_identity_changed]identity has changed!", log_level::warning);
    } else {
        log(L"[config:has_identity_changed]identity has not changed", log_level::debug);
    }
    return changed;
}

bool config::is_paused() const { return local_now() < get_paused_until(); }

bool config::is_logging_allowed_now() const {
    const ptime now = local_now();
    if (now < get_paused_until()) return false;
    return logging_allowed_at(now);
}

bool config::is_logging_allowed_ignoring_pause() const { return logging_allowed_at(local_now()); }

bool config::logging_allowed_at(const ptime& now) const {
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
    write(blocked_items_, std::make_shared<const std::vector<std::wstring>>(std::move(items)));
    save();
}

bool config::replace_blocked_items(const std::shared_ptr<const std::vector<std::wstring>>& seen,
                                   std::vector<std::wstring> items) {
    auto replacement = std::make_shared<const std::vector<std::wstring>>(std::move(items));
    {
        std::lock_guard<std::mutex> lock(data_mutex_);
        if (blocked_items_ != seen) return false;
        blocked_items_ = std::move(replacement);
    }
    save();
    return true;
}

}  // namespace kes
