#include "core/foundation/config.h"

#include "core/foundation/config_settings_table.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/time_util.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace kes {
namespace {

std::atomic<config*> published{nullptr};

}  // namespace

config& config::instance() {
    if (config* existing = published.load(std::memory_order_acquire)) return *existing;
    // Published before the defaults and the settings file are applied: loading
    // logs, and the debug log asks this store for its mask.
    auto* created = new config();  // never destroyed: threads may read settings during exit
    published.store(created, std::memory_order_release);
    created->set_defaults();
    // kestreld.json; only when that fails the legacy kestreld.cfg; then, while
    // this is still the first run, base_config.json on top.
    created->load();
    return *created;
}

namespace {
config::ptime wall_clock_now() { return util::local_now_seconds(); }
}  // namespace

config::config() : clock_(&wall_clock_now) {}

void config::set_clock(clock_source clock) {
    std::lock_guard<std::mutex> lock(data_mutex_);
    wall_clock_.store(!clock);
    clock_ = clock ? std::move(clock) : clock_source(&wall_clock_now);
}

config::ptime config::local_now() const {
    if (wall_clock_.load()) return wall_clock_now();
    clock_source clock;
    {
        std::lock_guard<std::mutex> lock(data_mutex_);
        clock = clock_;
    }
    return clock();
}

std::wstring config::get_api_url() const {
    std::lock_guard<std::mutex> lock(data_mutex_);
    return api_url_.empty() ? url_ : api_url_;
}

config::ptime config::get_last_update_check() const {
    return settings_table::or_never_set(read(last_update_check_));
}

config::ptime config::get_last_successful_send() const {
    return settings_table::or_never_set(read(last_successful_send_));
}

std::wstring config::get_client_version(bool with_identity) const {
    std::lock_guard<std::mutex> lock(data_mutex_);
    if (!with_identity) return client_version_;
    return client_version_ + L" - " + os_username_ + L"/" + computer_name_;
}

void config::set_defaults() {
    const ptime now = local_now();
    std::lock_guard<std::mutex> lock(data_mutex_);
    settings_table::apply_defaults(*this, now);
    identity_dirty_.store(true);
    authenticated_.store(false);
    two_factor_code_.clear();
    gui_loaded_.store(false);
    in_idle_activity_.store(false);
    update_check_requested_.store(false);
    last_account_key_.clear();
    last_os_username_.clear();
    last_computer_name_.clear();
    blocked_items_ = std::make_shared<const std::vector<std::wstring>>();
    blocking_always_.store(false);
    offline_dismissed_until_ = now;
    blocking_until_ = now;
    saving_allowed_.store(true);
    // Takes only the table's own mutex.
    load_default_browser_support();
}

void config::reset(const std::wstring& account_key) {
    set_defaults();
    if (!account_key.empty()) write(account_key_, account_key);
    save();
}

void config::set_status_message(const std::wstring& text, int severity) {
    write(status_message_, text);
    status_severity_.store(severity);
}

std::wstring config::get_status_message() const { return read(status_message_); }

void config::push_status_message(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(status_queue_mutex_);
    while (status_queue_.size() > 5) status_queue_.pop_front();
    status_queue_.push_back(text);
}

void config::pop_status_message(std::wstring& text) {
    std::lock_guard<std::mutex> lock(status_queue_mutex_);
    text.clear();
    if (status_queue_.empty()) return;
    text = std::move(status_queue_.front());
    status_queue_.pop_front();
}

// ---- runtime values

void config::set_os_username(std::wstring value) {
    if (change(os_username_, std::move(value))) identity_dirty_.store(true);
}

void config::set_computer_name(std::wstring value) {
    if (change(computer_name_, std::move(value))) identity_dirty_.store(true);
}

void config::set_last_browser_support_pull(std::chrono::system_clock::time_point value) {
    write(last_browser_support_pull_, std::move(value));
}

}  // namespace kes
