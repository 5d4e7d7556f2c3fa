#pragma once
// The grabber of this desktop. The front application comes from the window
// manager's active window (_NET_ACTIVE_WINDOW) on the scanner thread's own
// X11 connection; on a server without a window manager that names it the
// named scripts answer instead, on the main thread. Titles come from the
// focused window. Within a scanner pass the front application is looked up
// once and every question of the pass is answered from it.

#include "core/capture/grabber.h"
#include "platform/front_application.h"

#include <memory>
#include <optional>
#include <string>

namespace kes {

class osx_AppleScriptExecutor;

class osx_grabber : public grabber {
public:
    // `display_name` empty means $DISPLAY.
    explicit osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor, std::string display_name = {});
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

    std::shared_ptr<osx_AppleScriptExecutor> executor_;
    std::unique_ptr<platform::x11_windows> session_;
    bool in_pass_ = false;
    // The front application of the running pass, once looked up.
    std::optional<std::optional<platform::front_application>> pass_front_;
    platform::executable_memo executables_;
};

}  // namespace kes
