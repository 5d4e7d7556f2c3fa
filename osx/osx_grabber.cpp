#include "osx/osx_grabber.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "osx/osx_AppleScriptExecutor.h"
#include "osx/osx_system.h"
#include "platform/bundle.h"
#include "platform/front_application.h"
#include "platform/info_plist.h"
#include "platform/x11_windows.h"

#include <unistd.h>

#include <array>
#include <climits>

namespace kes {
namespace {

std::wstring from_utf8(const std::string& text) { return util::utf8_to_wstring_lossy(text); }

}  // namespace

std::shared_ptr<grabber> grabber::create() { return std::make_shared<osx_grabber>(); }

osx_grabber::osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor, std::string display_name)
    : executor_(std::move(executor)), session_(std::make_unique<platform::x11_windows>(std::move(display_name))) {
    log(L"[osx_grabber]ctor", log_level::debug);
}

osx_grabber::osx_grabber() : osx_grabber(osx_AppleScriptExecutor::create()) {}

osx_grabber::~osx_grabber() = default;

void osx_grabber::begin_pass() {
    session_->begin_pass();
    in_pass_ = true;
    pass_front_.reset();
}

void osx_grabber::end_pass() {
    in_pass_ = false;
    pass_front_.reset();
    session_->end_pass();
}

std::optional<platform::front_application> osx_grabber::active_application() {
    if (in_pass_ && pass_front_) return *pass_front_;
    const auto window = platform::front_window(*session_, platform::front_window_source::active_window);
    std::optional<platform::front_application> front =
        platform::application_of(*session_, window, in_pass_ ? &executables_ : nullptr);
    if (in_pass_) pass_front_ = front;
    return front;
}

bool osx_grabber::scripts_may_answer() {
    // No display, no front application; and a window manager that names the
    // active window has said there is none, which the scripts would repeat.
    return session_->connected() && !session_->window_manager_names_active_window();
}

std::wstring osx_grabber::get_active_process_id() {
    log(L"[osx_grabber]get_active_process_id ", log_level::debug);
    std::wstring result = L"0";
    if (const auto front = active_application()) {
        result = std::to_wstring(front->pid);
    } else if (!scripts_may_answer()) {
        result.clear();  // nothing in front: nothing to ask a script
    } else if (const auto answer = executor_->runGetProcessIDScript()) {
        result = from_utf8(*answer);
    } else {
        result.clear();
    }
    log(L"[osx_grabber]get_active_process_id - " + result, log_level::debug);
    return result;
}

std::wstring osx_grabber::get_process_name_or_filename(selector which) {
    log(L"[osx_grabber]get_process_name_or_filename - starting... ", log_level::debug);
    std::wstring result;
    const auto front = active_application();
    const std::string* known = nullptr;
    if (front) known = which == selector::name ? &front->name : &front->path;
    if (known && !known->empty()) {
        result = from_utf8(*known);
    } else if (!scripts_may_answer()) {
        // Nothing in front: nothing to ask a script.
    } else if (which == selector::name) {
        if (const auto answer = executor_->runCurrentApplicationNameScript()) result = from_utf8(*answer);
    } else if (const auto answer = executor_->runCurrentApplicationPathScript()) {
        // The script may answer a colon-separated path; a path read from
        // the system keeps its colons.
        result = util::replace_all(from_utf8(*answer), L":", L"/");
    }
    log(L"[osx_grabber]get_process_name_or_filename - " + result, log_level::debug);
    return result;
}

std::wstring osx_grabber::get_process_name() { return get_process_name_or_filename(selector::name); }

std::wstring osx_grabber::get_application_name() { return get_process_name_or_filename(selector::name); }

std::wstring osx_grabber::get_process_filename() { return get_process_name_or_filename(selector::path); }

std::wstring osx_grabber::get_process_version(bool own_process) {
    std::wstring name;
    std::wstring path;
    if (own_process) {
        name = L"Kestrel";
        path = osx_system().get_app_path();
    } else {
        name = get_process_name();
        path = get_process_filename();
    }
    log(L"[osx_grabber]app_path: " + path, log_level::debug);
    std::wstring version;
    if (!path.empty()) {
        const std::string plist = util::wstring_to_utf8_lossy(path) + "/Contents/Info.plist";
        version = from_utf8(platform::info_plist_string(plist, "CFBundleVersion"));
    }
    log(L"[osx_grabber]get_process_version - PROCESS_NAME: (nextline)", log_level::debug);
    log(name, log_level::debug);
    log(L"[osx_grabber]get_process_version - VERSION: (nextline)", log_level::debug);
    log(version, log_level::debug);
    return version;
}

std::wstring osx_grabber::graphics_title_rule(const std::wstring& lower_process_name, const std::wstring& title) {
    static const std::array<const wchar_t*, 8> prefixes = {
        L"photoshop", L"adobe photoshop", L"illustrator", L"adobe illustrator",
        L"fireworks", L"adobe fireworks", L"indesign",    L"adobe indesign"};
    bool graphics = false;
    for (const wchar_t* prefix : prefixes) graphics = graphics || util::starts_with(lower_process_name, prefix);
    if (!graphics) return title;
    log(L"[osx_grabber]found adobe - parsing window title", log_level::ui);
    const auto at = title.find(L'@');
    if (at == std::wstring::npos || at == 0) return title;
    return title.substr(0, at - 1);
}

std::wstring osx_grabber::get_window_title() {
    const std::wstring lower_name = util::to_lower(get_process_name());
    log(L"[osx_grabber]process_name = " + lower_name, log_level::ui);
    const auto window = platform::front_window(*session_, platform::front_window_source::active_or_input_focus);
    std::wstring title = graphics_title_rule(lower_name, from_utf8(platform::focused_title(*session_, window)));
    log(L"[osx_grabber]get_window_title - (next line)", log_level::debug);
    log(title, log_level::debug);
    return title;
}

std::wstring osx_grabber::get_os_username() {
    const std::wstring result = from_utf8(platform::user_name());
    log(L"[osx_grabber]get_os_username - " + result, log_level::debug);
    return result;
}

std::wstring osx_grabber::get_computer_name() {
    log(L"[osx_grabber]get_computer_name - starting... ", log_level::debug);
    std::array<char, HOST_NAME_MAX + 1> host{};
    std::wstring result;
    if (::gethostname(host.data(), host.size() - 1) == 0) result = from_utf8(host.data());
    log(L"[osx_grabber]get_computer_name - " + result, log_level::debug);
    return result;
}

}  // namespace kes
