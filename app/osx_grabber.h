#pragma once
// The grabber of this desktop. The front application comes from the window
// manager's active window (_NET_ACTIVE_WINDOW) on the scanner thread's own
// X11 connection (any source of window facts in tests); on a server without a window manager that names it the
// named scripts answer instead, on the main thread. Titles come from the
// focused window. Within a scanner pass the front application is looked up
// once and every question of the pass is answered from it, and while the
// server reports no change the next pass starts from those answers. A browser's page
// address comes from its chain (osx_extended_info_grabber_factory); which
// browser a process is, is read from its front window and kept per window.

#include "core/capture/grabber.h"
#include "platform/linux/front_application.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace kes {

class osx_AppleScriptExecutor;
class osx_BrowserScriptExecutor;

class osx_grabber : public grabber {
public:
    // `display_name` empty means $DISPLAY; `browser_scripts` empty means the
    // process-wide executor.
    explicit osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor, std::string display_name = {},
                         std::shared_ptr<osx_BrowserScriptExecutor> browser_scripts = nullptr);
    // Reads the windows from `windows` (used by the scanner thread only).
    osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor, std::unique_ptr<platform::window_facts> windows,
                std::shared_ptr<osx_BrowserScriptExecutor> browser_scripts = nullptr);
    osx_grabber();
    ~osx_grabber() override;

    void begin_pass() override;
    void end_pass() override;

    std::wstring get_active_process_id() override;
    std::wstring get_process_name() override;
    std::wstring get_application_name() override;
    std::wstring get_process_filename() override;
    std::wstring get_process_version(bool own_process) override;
    std::wstring get_window_title() override;
    std::wstring get_os_username() override;
    std::wstring get_computer_name() override;

    // Graphics applications put " @ zoom (mode)" after the document name;
    // only the document name is kept.
    static std::wstring graphics_title_rule(const std::wstring& lower_process_name, const std::wstring& title);

private:
    enum class selector { name, path };
    std::wstring get_process_name_or_filename(selector which);
    std::optional<platform::front_application> active_application();
    // No front application from the active window, and the scripts may
    // know one: the server has no window manager that names it.
    bool scripts_may_answer();
    // The browser-support key of a process (empty for no known browser).
    std::wstring browser_key_of(int pid);

    std::shared_ptr<osx_AppleScriptExecutor> executor_;
    std::unique_ptr<platform::window_facts> session_;
    bool in_pass_ = false;
    // The front application of the running pass, once looked up.
    std::optional<std::optional<platform::front_application>> pass_front_;
    // The running pass's answers as the scanner reads them, kept while no
    // trace line of theirs is written: a pass asks each up to six times.
    struct pass_answers {
        std::optional<std::wstring> process_id;
        std::optional<std::wstring> process_name;
        std::optional<std::wstring> window_title;
    } pass_answers_;
    // The last pass's answers, carried into the next while the session's
    // picture stands still (no event taken, no fact read): a quiet pass then
    // asks the session nothing for them.
    struct carried_answers {
        bool valid = false;
        std::uint64_t session_changes = 0;
        pass_answers answers;
    } carried_;
    platform::executable_memo executables_;
    std::wstring os_username_;
    // The host name, read again once it is a minute old: records start at
    // every change of application or title, a rename is rare.
    std::wstring computer_name_;
    std::optional<std::chrono::steady_clock::time_point> computer_name_read_;
    // The browser-support key last found, with what it was found from.
    struct browser_key_memo {
        bool known = false;
        platform::window_facts::window_id window = 0;
        std::uint64_t window_generation = 0;
        int pid = 0;
        std::string wm_class;
        std::wstring key;
    } browser_key_;
    // The versions of the last few processes asked about, each read once: a
    // running process stays the version it started as. A later process may
    // get a closed one's id, but not its window: the front window is kept
    // with it where one was found.
    struct known_version {
        std::wstring process_id;
        std::wstring path;
        platform::window_facts::window_id window = 0;
        std::uint64_t window_generation = 0;
        std::wstring version;
    };
    std::deque<known_version> versions_;  // most recently asked first
};

}  // namespace kes
