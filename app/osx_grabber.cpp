#include "app/osx_grabber.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "app/browser_identity.h"
#include "app/osx_AppleScriptExecutor.h"
#include "app/osx_extended_info_grabber_factory.h"
#include "app/osx_system.h"
#include "platform/bundle.h"
#include "platform/linux/front_application.h"
#include "platform/info_plist.h"
#include "platform/linux/x11_windows.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <iterator>

namespace kes {
namespace {

std::wstring from_utf8(const std::string& text) { return util::utf8_to_wstring_lossy(text); }

// Trace lines of a grabber question: asked many times a pass, they are built
// only while kept. The answer is what the front window's program chose to
// call itself: it may not break the line.
void trace(const wchar_t* head, const std::wstring& tail, std::uint32_t level = log_level::debug) {
    if (log_enabled(level)) log(head + util::escape_control_characters(tail), level);
}

// An answer on a line of its own, as the lines before it announce.
void trace_alone(const std::wstring& answer) {
    if (log_enabled(log_level::debug)) log(util::escape_control_characters(answer), log_level::debug);
}

// While these lines are kept each question is answered afresh, so the log
// reads as it always did; otherwise a pass answers a repeated question from
// its first answer.
bool traced() { return log_enabled(log_level::ui_trace); }

}  // namespace

osx_grabber::osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor, std::string display_name,
                         std::shared_ptr<osx_BrowserScriptExecutor> browser_scripts)
    : osx_grabber(std::move(executor), std::make_unique<platform::x11_windows>(std::move(display_name)),
                  std::move(browser_scripts)) {}

osx_grabber::osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor,
                         std::unique_ptr<platform::window_facts> windows,
                         std::shared_ptr<osx_BrowserScriptExecutor> browser_scripts)
    : grabber(std::make_unique<osx_extended_info_grabber_factory>([this](int pid) { return browser_key_of(pid); },
                                                                  std::move(browser_scripts))),
      executor_(std::move(executor)),
      session_(std::move(windows)) {
    log(L"[osx_grabber]ctor", log_level::debug);
}

osx_grabber::osx_grabber() : osx_grabber(osx_AppleScriptExecutor::create()) {}

osx_grabber::~osx_grabber() = default;

void osx_grabber::begin_pass() {
    session_->begin_pass();
    in_pass_ = true;
    pass_front_.reset();
    pass_answers_ = {};
    if (carried_.valid && carried_.session_changes == session_->changes() && !traced()) {
        pass_answers_ = carried_.answers;
    }
}

void osx_grabber::end_pass() {
    // Only answers read from the active window are carried: they follow the
    // server's events, where a script's or the input focus's would not.
    const bool from_the_active_window =
        pass_answers_.process_id && pass_answers_.process_name && pass_answers_.window_title;
    carried_.valid = from_the_active_window;
    if (from_the_active_window) carried_ = {true, session_->changes(), pass_answers_};
    in_pass_ = false;
    pass_front_.reset();
    pass_answers_ = {};
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

std::wstring osx_grabber::browser_key_of(int pid) {
    // Asked at every record start: for the window already known it costs
    // what the session keeps (no round trip, no file read).
    platform::window_facts::window_id window =
        platform::front_window(*session_, platform::front_window_source::active_window);
    if (window != 0 && session_->window_pid(window) != pid) window = 0;
    std::string wm_class = window != 0 ? session_->window_class(window) : std::string();
    const std::uint64_t generation = window != 0 ? session_->window_generation(window) : 0;
    if (browser_key_.known && browser_key_.window == window && browser_key_.window_generation == generation &&
        browser_key_.pid == pid && browser_key_.wm_class == wm_class) {
        return browser_key_.key;
    }
    const std::string executable = window != 0 ? executables_.of(*session_, window, pid) : session_->executable_of(pid);
    browser_key_ = {true, window, generation, pid, std::move(wm_class), {}};
    browser_key_.key = browser_support_key_for(browser_key_.wm_class, executable);
    return browser_key_.key;
}

std::wstring osx_grabber::get_active_process_id() {
    const bool keep = in_pass_ && !traced();
    if (keep && pass_answers_.process_id) return *pass_answers_.process_id;
    log(L"[osx_grabber]get_active_process_id ", log_level::debug);
    std::wstring result = L"0";
    const auto front = active_application();
    if (front) {
        result = util::int_to_wstr(front->pid);
    } else if (!scripts_may_answer()) {
        result.clear();  // nothing in front: nothing to ask a script
    } else if (const auto answer = executor_->runGetProcessIDScript()) {
        result = from_utf8(*answer);
    } else {
        result.clear();
    }
    trace(L"[osx_grabber]get_active_process_id - ", result);
    // A script's answer may change while the pass waits for it again.
    if (keep && front) pass_answers_.process_id = result;
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
    trace(L"[osx_grabber]get_process_name_or_filename - ", result);
    return result;
}

std::wstring osx_grabber::get_process_name() {
    const bool keep = in_pass_ && !traced();
    if (keep && pass_answers_.process_name) return *pass_answers_.process_name;
    std::wstring name = get_process_name_or_filename(selector::name);
    if (keep && pass_front_ && *pass_front_ && !(*pass_front_)->name.empty()) pass_answers_.process_name = name;
    return name;
}

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
    trace(L"[osx_grabber]app_path: ", path);
    std::wstring version;
    if (!path.empty()) {
        // Asked at every record start: the front process's version is read
        // once, as a running process stays the version it started as.
        const std::wstring process_id = own_process ? std::wstring() : get_active_process_id();
        const bool keyed = !process_id.empty() && process_id != L"0";
        const auto front = keyed ? active_application() : std::nullopt;
        const platform::window_facts::window_id window = front ? front->window : 0;
        const std::uint64_t generation = front ? front->window_generation : 0;
        const auto known = !keyed ? versions_.end()
                                       : std::find_if(versions_.begin(), versions_.end(), [&](const known_version& entry) {
                                             return entry.process_id == process_id && entry.path == path &&
                                                    entry.window == window && entry.window_generation == generation;
                                         });
        if (known != versions_.end()) {
            std::rotate(versions_.begin(), known, std::next(known));  // most recently asked first
            version = versions_.front().version;
        } else {
            const std::string plist = util::wstring_to_utf8_lossy(path) + "/Contents/Info.plist";
            version = from_utf8(platform::info_plist_string(plist, "CFBundleVersion"));
            constexpr std::size_t versions_kept = 8;
            if (keyed) versions_.push_front({process_id, path, window, generation, version});
            if (versions_.size() > versions_kept) versions_.pop_back();
        }
    }
    log(L"[osx_grabber]get_process_version - PROCESS_NAME: (nextline)", log_level::debug);
    trace_alone(name);
    log(L"[osx_grabber]get_process_version - VERSION: (nextline)", log_level::debug);
    trace_alone(version);
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
    const bool keep = in_pass_ && !traced();
    if (keep && pass_answers_.window_title) return *pass_answers_.window_title;
    const std::wstring lower_name = util::to_lower(get_process_name());
    trace(L"[osx_grabber]process_name = ", lower_name, log_level::ui);
    const auto window = platform::front_window(*session_, platform::front_window_source::active_or_input_focus);
    std::wstring title = graphics_title_rule(lower_name, from_utf8(platform::focused_title(*session_, window)));
    log(L"[osx_grabber]get_window_title - (next line)", log_level::debug);
    trace_alone(title);
    if (keep && pass_answers_.process_name) pass_answers_.window_title = title;
    return title;
}

std::wstring osx_grabber::get_os_username() {
    // Asked at every record start; the password database is read until it
    // has named the user once.
    if (os_username_.empty()) os_username_ = from_utf8(platform::user_name());
    trace(L"[osx_grabber]get_os_username - ", os_username_);
    return os_username_;
}

std::wstring osx_grabber::get_computer_name() {
    log(L"[osx_grabber]get_computer_name - starting... ", log_level::debug);
    constexpr auto kept_for = std::chrono::minutes(1);
    const auto now = std::chrono::steady_clock::now();
    if (!computer_name_read_ || now - *computer_name_read_ >= kept_for) {
        std::array<char, HOST_NAME_MAX + 1> host{};
        computer_name_ = ::gethostname(host.data(), host.size() - 1) == 0 ? from_utf8(host.data()) : std::wstring();
        computer_name_read_ = now;
    }
    trace(L"[osx_grabber]get_computer_name - ", computer_name_);
    return computer_name_;
}

}  // namespace kes
