#include "app/osx_daemon.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/text.h"
#include "platform/bundle.h"


namespace kes {

osx_daemon::osx_daemon(const worker_factory& make_workers, clock_source clock)
    : daemon(make_workers, std::move(clock)), service_name_(L"Kestrel Daemon") {
    running_.store(true);
    load_provisioned_account_key();
}

bool osx_daemon::request_stop() {
    running_.store(false);
    return true;
}

bool osx_daemon::run_service() {
    run();
    return true;
}

void osx_daemon::run() {
    running_.store(true);
    log(L"Leaving osx_daemon::run()", log_level::debug);
}

bool osx_daemon::on_init() {
    log(L"osx_daemon::on_init()", log_level::debug);
    return true;
}

void osx_daemon::on_stop() { log(L"osx_daemon::on_stop()", log_level::debug); }
void osx_daemon::on_interrogate() { log(L"osx_daemon::on_interrogate()", log_level::debug); }
void osx_daemon::on_pause() { log(L"osx_daemon::on_pause()", log_level::debug); }
void osx_daemon::on_continue() { log(L"osx_daemon::on_continue()", log_level::debug); }
void osx_daemon::on_shutdown() { log(L"osx_daemon::on_shutdown()", log_level::debug); }

void osx_daemon::on_user_control(const std::wstring& control) {
    log(L"osx_daemon::on_user_control: " + control, log_level::debug);
}

std::string osx_daemon::provisioned_account_key_path() {
    return platform::main_bundle_path() + "/Contents/account_key";
}

void osx_daemon::load_provisioned_account_key(const std::string& path) {
    // A key is a short text; a larger file is no key of ours.
    constexpr std::size_t max_key_file_bytes = 64 * 1024;
    fs::file_contents file = fs::read_regular_file(path, max_key_file_bytes);
    if (!file.is_read()) {
        if (file.is_unreadable()) {
            log(L"[osx_daemon:load_provisioned_account_key] The account_key file cannot be read: " +
                    util::utf8_to_wstring_lossy(file.describe()),
                log_level::error);
        }
        return;
    }
    std::string& bytes = file.bytes;
    // A key never holds a line end; an editor's final newline must not
    // invalidate the account at every start.
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    std::wstring key;
    try {
        key = util::utf8_to_wstring(bytes);
    } catch (const std::exception&) {
        log(L"[osx_daemon:load_provisioned_account_key] The account_key file is not UTF-8 text.",
            log_level::error);
        return;
    }
    config& settings = config::instance();
    settings.set_account_key(key);
    settings.set_disable_gui(false);
}

}  // namespace kes
