#include "core/service/pusher.h"

#include "core/capture/logger.h"
#include "core/capture/upload_folder.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/text_table.h"
#include "core/foundation/time_util.h"
#include "core/service/network_errors.h"
#include "core/service/redaction.h"
#include "core/service/sync_service.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <filesystem>
#include <system_error>

namespace kes {
namespace {

namespace stdfs = std::filesystem;
using boost::posix_time::ptime;

std::wstring path_text(const std::string& path) { return util::utf8_to_wstring_lossy(path); }

// Only whole upload files: the logger writes "<uuid>.tmp" first and renames it
// when complete, so the extension must be exactly one of the two final ones.
bool is_upload_file(const stdfs::directory_entry& entry) {
    // A link is not followed: only the logger's own files go out.
    std::error_code error;
    if (entry.symlink_status(error).type() != stdfs::file_type::regular || error) return false;
    return upload_names::is_upload_file_name(entry.path().filename().string());
}

}  // namespace

pusher::clocks pusher::default_clocks() {
    return clocks{[] { return config::instance().local_now(); }, [] { return std::chrono::system_clock::now(); }};
}

pusher::pusher() : pusher(make_sync_service(), logger::get_instance(), system::create()) {}

pusher::pusher(std::shared_ptr<sync_service> service, logger& activity_logger, std::shared_ptr<system> platform,
               clocks time)
    : service_(std::move(service)),
      logger_(activity_logger),
      config_(config::instance()),
      system_(std::move(platform)),
      clocks_(std::move(time)) {}

pusher::~pusher() = default;

void pusher::shove() {
    reactivate_if_identity_changed();
    post_system_timezone();
    logger_.write_current_log_to_disk();

    if (!config_.is_authenticated()) {
        log(L"[pusher:shove] Not authenticated", log_level::service_warning);
        return;
    }

    const std::string activities_dir = system_->get_activities_dir();
    const std::string backup_dir = system_->get_activities_backup_dir();
    std::error_code error;
    if (!stdfs::is_directory(activities_dir, error)) {
        log(L"[pusher:shove] Unexpected Error: activities_directory is not a directory",
            log_level::upload_folder_missing);
        return;
    }
    send_activity_files(activities_dir, backup_dir);
    logger_.prune_backups();
}

void pusher::reactivate_if_identity_changed() {
    if (!config_.has_identity_changed()) {
        log(L"[pusher]shove", log_level::network);
        return;
    }
    log(L"[pusher::shove] identity has changed", log_level::network);
    config_.set_status_message(get_text(L"status_message_reactivating"), 0);
    try {
        service_->activate_silent();
        config_.set_status_message(get_text(L"status_message_reactivation_success"), 1);
    } catch (const Kestrel::Network::Exception&) {
        log(L"[pusher::shove] Caught Kestrel::Network::Exception", log_level::caught_service);
        config_.set_status_message(get_text(L"status_error_invalid_response"), 4);
    }
}

void pusher::post_system_timezone() {
    const auto now = clocks_.system_now();
    const std::wstring data_key = config_.get_data_key();
    if (data_key.empty()) {
        log(L"[pusher:post_system_timezone] data_key not set. Will not attempt TimeZone server sync.",
            log_level::debug);
        return;
    }
    const std::string zone = util::wstring_to_utf8_lossy(system_->get_time_zone_name());
    if (zone == last_timezone_) {
        if (timezone_synced_) {
            log(L"[pusher:post_system_timezone] System TimeZone same.", log_level::debug);
            return;
        }
        log(L"[pusher:post_system_timezone] System TimeZone same, but not synced. Attempting POST to server.",
            log_level::debug);
    } else {
        log(L"[pusher:post_system_timezone] System TimeZone changed. Attempting POST to server.", log_level::debug);
        last_timezone_ = zone;
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
        timezone_changed_at_ = static_cast<double>(micros) / 1000000.0;
        timezone_synced_ = false;
    }
    try {
        service_->upload_tz_event(data_key, timezone_changed_at_, last_timezone_);
        timezone_synced_ = true;
        log(L"[pusher:post_system_timezone] System TimeZone sync successful.", log_level::network);
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[pusher:post_system_timezone] Caught Kestrel::Network::Exception: " + e.message,
            log_level::caught_network);
        log(L"[pusher:post_system_timezone] System TimeZone sync FAILED.", log_level::network);
    }
}

void pusher::send_activity_files(const std::string& activities_dir, const std::string& backup_dir) {
    // Directory order; an entry that vanishes while listed is simply skipped.
    for (const stdfs::directory_entry& entry : stdfs::directory_iterator(activities_dir)) {
        if (!is_upload_file(entry)) continue;
        const std::string path = entry.path().string();
        if (sent_but_kept_.count(path) != 0) continue;
        send_one_file(path, backup_dir);
    }
}

void pusher::send_one_file(const std::string& path, const std::string& backup_dir) {
    try {
        send_log(path);
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[pusher:shove] Error Response: " + e.message, log_level::error);
        const ptime last_success = config_.get_last_successful_send();
        const ptime now = clocks_.local_now();
        int severity = config_.get_status_severity();
        const bool a_day_without_success =
            last_success.is_special() || now - last_success > boost::posix_time::seconds(86400);
        if (severity == 4 || a_day_without_success) severity = 4;
        config_.set_status_message(e.message, severity);
        return;  // the file stays for the next pass
    }
    hand_over_sent_file(path, backup_dir);
    const ptime now = clocks_.local_now();
    const ptime whole_seconds(now.date(), boost::posix_time::seconds(now.time_of_day().total_seconds()));
    config_.set_status_message(get_text_with_args(L"status_message_sent_data_at", util::ptime_to_simple_wstr(whole_seconds)), 0);
    config_.set_last_successful_send(whole_seconds);
    if (config_.get_debug_log_send_enabled()) send_debug_log(*service_);
}

void pusher::hand_over_sent_file(const std::string& path, const std::string& backup_dir) {
    // The service has the file now: whatever happens here, it must not be
    // sent again, and nothing here may end the pass (the next files wait).
    std::error_code error;
    if (config_.get_backup_log()) {
        const std::string target = backup_dir + "/" + stdfs::path(path).filename().string();
        try {
            fs::create_private_directories(backup_dir);
            stdfs::rename(path, target, error);
        } catch (const std::exception& e) {
            error = std::make_error_code(std::errc::io_error);
            log(L"[pusher:shove] " + util::utf8_to_wstring_lossy(e.what()), log_level::error);
        }
        if (!error) return;
        log(L"[pusher:shove] Could not move the sent file " + path_text(path) + L" to the backup folder (" +
                util::utf8_to_wstring_lossy(error.message()) + L"); deleting it",
            log_level::error);
    }
    error.clear();
    if (stdfs::remove(path, error) && !error) return;
    if (!error && !stdfs::exists(path, error)) return;
    log(L"[pusher:shove] Could not delete the sent file " + path_text(path) + L" (" +
            util::utf8_to_wstring_lossy(error.message()) + L"); it will not be sent again",
        log_level::error);
    sent_but_kept_.insert(path);
}

void pusher::send_log(const std::string& file_path) {
    log(L"[pusher::send_log]", log_level::service_call);
    log(L"[pusher::send_log] kesactivities_file_path: " + path_text(file_path), log_level::service);
    const upload_file file(file_path);
    service_->upload_activity_log(file, config_.get_api_url(), config_.get_account_key());
    for (const mirrored_account& mirror : config_.get_mirrored_accounts()) {
        log(L"[pusher]send_log_to_mirrors: mirroring to url: " + mirror.url +
                L" with account_key: " + network::redact_key(mirror.account_key),
            log_level::service_call);
        try {
            service_->upload_activity_log(file, mirror.url, mirror.account_key);
        } catch (const Kestrel::Network::Exception& e) {
            log(L"[pusher:send_log] Failed to send to mirror", log_level::caught_service);
            log(L"[pusher:send_log] Caught Kestrel::Network::Exception: " + e.message, log_level::caught_service);
        }
    }
}

bool pusher::send_debug_log() { return send_debug_log(*make_sync_service()); }

bool pusher::send_debug_log(sync_service& service) {
    log(L"[pusher:send_debug_log]", log_level::network);
    const std::wstring text = debug_log_read();
    if (text.empty()) return false;
    try {
        service.upload_debug_log(text);
    } catch (const Kestrel::Network::Exception& e) {
        log(L"[pusher:send_debug_log] Caught Kestrel::Network::Exception: " + e.message, log_level::caught_network);
        return false;
    }
    debug_log_reopen();
    return true;
}

}  // namespace kes
