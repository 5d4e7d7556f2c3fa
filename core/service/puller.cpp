#include "core/service/puller.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"
#include "core/foundation/time_util.h"
#include "core/service/network_errors.h"
#include "core/service/redaction.h"
#include "core/service/request.h"
#include "core/service/sync_service.h"
#include "core/ui/ui.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include <optional>

namespace kes {
namespace {

using boost::posix_time::ptime;

const wchar_t* flag_text(bool value) { return value ? L"1" : L"0"; }

// A special time (never set) lies before every real one.
bool is_later(const ptime& a, const ptime& b) {
    if (a.is_special()) return false;
    if (b.is_special()) return true;
    return a > b;
}

// The local browser-support file's table for this platform (member "2"), or
// nothing when the file is missing, empty, not a regular file of at most the
// size of a service answer, or not valid JSON.
std::optional<DynamicStructure> read_local_browser_support(const std::string& path) {
    const fs::file_contents file = fs::read_regular_file(path, network::max_answer_bytes);
    if (!file.is_read()) {
        if (file.is_unreadable()) {
            log(L"[puller::update_browser_support] Ignoring the local file " + util::utf8_to_wstring_lossy(path) +
                    L": " + util::utf8_to_wstring_lossy(file.describe()),
                log_level::error);
        }
        return std::nullopt;
    }
    const std::string& text = file.bytes;
    if (text.empty()) return std::nullopt;
    try {
        json_item_limit limit{config::max_list_items, config::max_settings_values};
        const nlohmann::json parsed = parse_json_bounded(text, limit);
        if (limit.dropped != 0) {
            log(L"[puller::update_browser_support] Left out " + std::to_wstring(limit.dropped) +
                    L" values of the local file " + util::utf8_to_wstring_lossy(path),
                log_level::error);
        }
        const auto found = parsed.is_object() ? parsed.find("2") : parsed.end();
        if (found == parsed.end()) return DynamicStructure();
        return DynamicStructureFromJson(*found);
    } catch (const std::exception& e) {
        // A broken local file must not stop the puller: the service's table
        // takes its place.
        log(L"[puller::update_browser_support] Ignoring the unreadable local file " +
                util::utf8_to_wstring_lossy(path) + L": " + util::utf8_to_wstring_lossy(e.what()),
            log_level::error);
        return std::nullopt;
    }
}

}  // namespace

puller::puller() : puller(make_sync_service(), system::create(), &ui::get_instance) {}

puller::puller(std::shared_ptr<sync_service> service, std::shared_ptr<system> platform, ui_source user_interface,
               clock_source clock)
    : config_(config::instance()),
      service_(std::move(service)),
      system_(std::move(platform)),
      ui_(std::move(user_interface)),
      clock_(clock ? std::move(clock) : clock_source([] { return config::instance().local_now(); })) {}

puller::~puller() = default;

std::vector<std::wstring> puller::default_idle_activities() {
    return {L"youtube.com",      L"netflix.com", L"vimeo.com",    L"zoom.us/wc",       L"quicktime player",
            L"vlc",              L"facetime",    L"wmplayer.exe", L"mpc-hc.exe",       L"mpc-hc64.exe",
            L"iracingsim.exe",   L"iracingsim64.exe"};
}

void puller::update_idle_activity_list() {
    if (!config_.get_idle_activities().empty()) return;
    log(L"[puller:update_idle_activity_list - starting to update list.", log_level::network);
    config_.set_idle_activities(default_idle_activities());
}

std::vector<std::uint32_t> puller::pull_messages() {
    log(L"[puller:pull_messages]", log_level::network);
    try {
        std::vector<std::uint32_t> codes;
        for (const message code : service_->get_messages()) codes.push_back(static_cast<std::uint32_t>(code));
        return codes;
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[puller::pull_messages] Caught Kestrel::Network::Exception: " + e.message, log_level::caught_network);
        return {};
    }
}

void puller::pull_config() {
    log(L"[puller:pull_config]", log_level::network);
    try {
        const DynamicStructure settings = service_->get_config();
        config_.load(settings);
        config_.save();
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[puller:pull_config] Caught Kestrel::Network::Exception: " + e.message, log_level::caught_network);
    }
}

void puller::pull_alerts() {
    log(L"[puller::pull_alerts]", log_level::network);
    Kestrel::Network::alerts_result answer;
    try {
        answer = service_->get_alerts();
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[puller::pull_alerts] Caught Kestrel::Network::Exception: " + e.message, log_level::caught_network);
        return;
    }
    for (const Kestrel::Network::alert& alert : answer.alerts) {
        if (!alert.url.empty()) {
            if (ui* user_interface = ui_()) user_interface->ux_open_url(alert.url);
        }
        log(L"[puller::pull_alerts] Found standard alert: " + network::loggable_prefix(alert.message) + L" url: " +
                network::loggable_prefix(alert.url),
            log_level::network);
        config_.push_status_message(alert.message);
    }
    if (!answer.still_zone_until.is_special()) {
        log(L"[puller::pull_alerts] Found still_zone_until alert", log_level::network);
        start_stillzone_until(answer.still_zone_until);
    } else if (answer.still_zone_duration != -1) {
        log(L"[puller::pull_alerts] Found still_zone_duration alert", log_level::network);
        start_stillzone_for(answer.still_zone_duration);
    }
}

bool puller::is_paused() const {
    const ptime paused_until = config_.get_paused_until();
    return !paused_until.is_special() && !(clock_() > paused_until);
}

bool puller::refuse_while_paused() const {
    if (!is_paused()) return false;
    log(L"[puller:pull_alerts] not starting Stillzone because Kestrel is paused.", log_level::ui_network);
    config_.push_status_message(get_text(L"stillzone_alert_error_paused"));
    return true;
}

void puller::start_focus_session(int minutes) {
    if (ui* user_interface = ui_()) user_interface->on_get_focused(minutes);
}

void puller::start_stillzone_until(ptime until) {
    log(L"[puller:pull_alerts] Received still_zone_until alert until time: " + util::ptime_to_simple_wstr(until),
        log_level::ui_network);
    if (refuse_while_paused()) return;
    const ptime now = clock_();
    if (!is_later(until, now) || !is_later(until, config_.get_blocking_until())) return;
    const std::int64_t seconds = (until - now).total_seconds();
    std::int64_t minutes = seconds / 60;
    if (seconds % 60 > 30) ++minutes;
    start_focus_session(static_cast<int>(minutes));
}

void puller::start_stillzone_for(int minutes) {
    if (refuse_while_paused()) return;
    log(L"[puller:pull_alerts] enabling stillzone for: " + std::to_wstring(minutes), log_level::network);
    if (minutes == 0) {
        start_focus_session(0);
        return;
    }
    if (is_later(clock_() + boost::posix_time::minutes(minutes), config_.get_blocking_until())) {
        start_focus_session(minutes);
    }
}

void puller::update_browser_support() {
    std::optional<DynamicStructure> table = read_local_browser_support(system_->get_browser_support_path());
    if (!table) {
        try {
            table = service_->get_browser_support_list();
        } catch (const Kestrel::Network::Exception& e) {
            log(L"[puller::update_browser_support] Caught Kestrel::Network::Exception: " + e.message,
                log_level::caught_network);
            config_.load_default_browser_support();
            return;
        }
    }
    config_.set_browser_support(*table);
}

void puller::update_client() {
    log(L"[puller:update_client]", log_level::network);
    system_->set_update_channel(0);
    system_->get_update();
}

void puller::update_client_beta() {
    log(L"[puller:update_client_beta]", log_level::network);
    system_->set_update_channel(1);
    system_->get_update();
}

bool puller::update_blocked_list(bool start, bool end, int duration_minutes) {
    log(L"[puller:update_blocked_list] with: start_focus: " + std::wstring(flag_text(start)) +
            L" end_focus: " + flag_text(end) + L" duration: " + std::to_wstring(duration_minutes),
        log_level::network);
    // Switching blocking off moves its end into the past for good, so a
    // session that is still running keeps its end while the service is
    // asked (an empty list blocks nothing meanwhile), and ends only when the
    // service says blocking is off or cannot be asked. Its end is never put
    // back afterwards: the user may have ended the session in the meantime.
    const bool session_running = is_later(config_.get_blocking_until(), clock_());
    config_.set_blocked_items({});
    if (!session_running) config_.set_blocking_enabled(false);
    Kestrel::Network::block_list_result answer;
    try {
        answer = service_->get_blocked_list(start, end, duration_minutes);
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[puller:update_blocked_list] Caught Kestrel::Network::Exception: " + e.message,
            log_level::caught_network);
        if (session_running) config_.set_blocking_enabled(false);
        return false;
    }
    if (!answer.blocking_enabled) {
        if (session_running) config_.set_blocking_enabled(false);
        return true;
    }
    config_.set_blocked_items(answer.block_list);
    config_.set_extended_domain_list(answer.extended_domain_list);
    config_.set_blocking_enabled(true);
    return true;
}

bool puller::update_blocked_list_start_stillzone(int minutes) {
    log(L"[puller:update_blocked_list_start_stillzone]", log_level::network);
    return update_blocked_list(true, false, minutes);
}

bool puller::update_blocked_list_stop_stillzone() {
    log(L"[puller:update_blocked_list_stop_stillzone]", log_level::network);
    return update_blocked_list(false, true, 0);
}

void puller::update_blocked_list_no_params() {
    log(L"[puller:update_blocked_list_no_params]", log_level::network);
    update_blocked_list(false, false, 0);
}

}  // namespace kes
