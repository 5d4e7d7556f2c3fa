#include "app/osx_system.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/service_updater.h"
#include "app/time_zone_name.h"
#include "platform/bundle.h"
#include "platform/instance_lock.h"
#include "platform/main_queue.h"
#include "platform/updater.h"
#include "platform/workspace.h"
#include "platform/linux/x11_session.h"

#include <boost/core/demangle.hpp>
#include <boost/filesystem.hpp>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <typeinfo>
#include <utility>

namespace kes {
namespace {

// Shared by every object: a display that went off stays off for all of them.
std::atomic<bool> display_off{false};

std::string pid_text(long pid) {
    return pid > 0 ? "(pid " + std::to_string(pid) + ")" : std::string("(unknown)");
}

void log_other_instances(const std::vector<long>& others) {
    std::string list;
    for (const long pid : others) list += (list.empty() ? "" : ", ") + pid_text(pid);
    log(L"Found other instances of Kestrel running in background: " + util::widen(list) +
            L"\n\nCurrent Instance: " + util::widen(pid_text(static_cast<long>(::getpid()))),
        log_level::error);
}

// Whether another copy holds `lock` (logged). Refusing to start over a lock
// we cannot use would stop recording for good: that is logged, and allowed.
bool lock_taken(platform::instance_lock& lock, const std::string& folder) {
    switch (lock.acquire()) {
        case platform::instance_lock::state::held:
            return false;
        case platform::instance_lock::state::taken:
            log_other_instances({lock.holder_pid()});
            return true;
        case platform::instance_lock::state::unavailable:
            break;
    }
    log(L"[osx_system:is_other_instance_running] The instance lock in " + util::utf8_to_wstring_lossy(folder) +
            L" cannot be used; starting without it.",
        log_level::error);
    return false;
}

}  // namespace

osx_system_services osx_system_services::real() {
    static const std::shared_ptr<platform::x11_session> session = platform::open_x11_session();
    static const std::shared_ptr<platform::updater> updater = make_service_updater();
    static const std::shared_ptr<platform::workspace> workspace = platform::make_proc_workspace();
    static const std::string identifier = platform::bundle_identifier(platform::main_bundle_path());
    return {session, platform::process_instance_lock(), updater, workspace, identifier,
            &platform::process_data_folder_lock};
}

osx_system::osx_system(osx_system_services services) : services_(std::move(services)) {}

void osx_system::begin_pass() {
    in_pass_ = true;
    pass_sample_.reset();
}

void osx_system::end_pass() {
    in_pass_ = false;
    pass_sample_.reset();
}

const platform::x11_sample& osx_system::pass_sample() {
    if (!pass_sample_) pass_sample_ = services_.session ? services_.session->sample() : platform::x11_sample{};
    return *pass_sample_;
}

double osx_system::get_idle_time() {
    // Without a display nobody can be at the keyboard; 0 keeps the agent
    // recording instead of declaring the user away forever.
    double idle = 0.0;
    if (in_pass_) {
        idle = pass_sample().idle_seconds.value_or(0.0);
    } else if (services_.session) {
        idle = services_.session->idle_seconds().value_or(0.0);
    }
    // Formatting a floating-point number through a stream costs more than
    // the rest of a pass: only for a line that is kept.
    if (log_enabled(log_level::debug)) {
        std::wostringstream text;
        text << L"[osx_system]get_idle_time - " << idle;
        log(text.str(), log_level::debug);
    }
    return idle;
}

bool osx_system::is_display_on() {
    platform::display_power state = platform::display_power::unknown;
    if (in_pass_) {
        state = pass_sample().display;
    } else if (services_.session) {
        state = services_.session->display_state();
    }
    if (state != platform::display_power::unknown) {
        const bool off = state == platform::display_power::off;
        if (display_off.exchange(off) != off) {
            log(off ? L"Display is powering off" : L"Display is turning on", log_level::display_power);
        }
    }
    return !display_off.load();
}

// A copy that runs without the lock (its lock file was removed, or it comes
// from a build that had none) is found among the session's applications, as
// the login helper finds it. Copies starting together would each see the
// other there; only the younger gives way to the older, and the lock decides
// the rest.
std::vector<long> osx_system::older_copies() const {
    if (!services_.workspace || services_.bundle_identifier.empty()) return {};
    const std::vector<platform::running_application> running = services_.workspace->running_applications();
    const int self = static_cast<int>(::getpid());
    const auto own = std::find_if(running.begin(), running.end(),
                                  [self](const platform::running_application& a) { return a.pid == self; });
    std::vector<long> older;
    for (const platform::running_application& application : running) {
        if (application.pid == self || application.bundle_identifier != services_.bundle_identifier) continue;
        const bool younger = own != running.end() &&
                             std::make_pair(application.start_time, application.pid) >
                                 std::make_pair(own->start_time, own->pid);
        if (!younger) older.push_back(application.pid);
    }
    return older;
}

bool osx_system::is_other_instance_running() {
    auto& lock = *services_.instance_lock;
    lock.post_opening_notification();
    const std::vector<long> older = older_copies();
    if (!older.empty()) {
        log_other_instances(older);
        return true;
    }
    return lock_taken(lock, platform::runtime_dir()) || data_folder_taken();
}

bool osx_system::data_folder_taken() {
    if (!services_.data_folder_lock) return false;
    const std::string folder = get_data_dir();
    const std::shared_ptr<platform::instance_lock> lock = services_.data_folder_lock(folder);
    return lock && lock_taken(*lock, folder);
}

std::wstring osx_system::get_time_zone_name() {
    return util::utf8_to_wstring_lossy(local_time_zone_name(std::getenv("TZ")));
}

std::string osx_system::get_user_library_dir() { return platform::user_data_dir(); }

std::string osx_system::get_temp_dir() { return platform::temp_dir(); }

std::string osx_system::get_app_dir() {
    const std::string bundle = platform::main_bundle_path();
    const auto at = bundle.find("Kestrel.app");
    return at == std::string::npos ? bundle : bundle.substr(0, at);
}

std::string osx_system::get_ca_bundle_path() {
    const std::string path = platform::bundle_resource_dir() + "/curl-ca-bundle.crt";
    boost::system::error_code ec;
    return boost::filesystem::is_regular_file(path, ec) ? path : std::string();
}

void osx_system::get_update() {
    std::shared_ptr<platform::updater> updater = services_.updater;
    platform::main_queue::instance().async([updater] {
        log(L"[osx_system:get_update] provoking Sparkle to prompt for/perform updates...", log_level::error);
        if (!updater) return;
        try {
            updater->check_in_background();
        } catch (const std::exception& e) {
            log(L"[osx_system:get_update] Error provoking Sparkle: " +
                    util::widen(boost::core::demangle(typeid(e).name())) + L"  :: " +
                    util::utf8_to_wstring_lossy(e.what()),
                log_level::error);
        }
    });
}

std::wstring osx_system::get_app_path() {
    static const std::wstring path = [] {
        const std::wstring bundle = util::utf8_to_wstring_lossy(platform::main_bundle_path());
        log(L"[osx_system]get_app_path: - getting bundle path = " + bundle, log_level::debug);
        return bundle;
    }();
    return path;
}

}  // namespace kes
