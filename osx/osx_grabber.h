#pragma once
// The grabber of this desktop. The front application comes from the window
// manager's active window (_NET_ACTIVE_WINDOW) on the scanner thread's own
// X11 connection; when there is none (no window manager) the named scripts
// answer instead, on the main thread. Titles come from the focused window.

#include "core/capture/grabber.h"

#include <memory>
#include <optional>
#include <string>

namespace platform {
class x11_windows;
struct front_application;
}  // namespace platform

namespace kes {

class osx_AppleScriptExecutor;

class osx_grabber : public grabber {
public:
    // `display_name` empty means $DISPLAY.
    explicit osx_grabber(std::shared_ptr<osx_AppleScriptExecutor> executor, std::string display_name = {});
    osx_grabber();
    ~osx_grabber() override;

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

    std::shared_ptr<osx_AppleScriptExecutor> executor_;
    std::unique_ptr<platform::x11_windows> session_;
};

}  // namespace kes
