#include "app/osx_daemon.h"

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "platform/bundle.h"

#include <fstream>
#include <iterator>

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
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return;
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
