#pragma once
// What the desktop says about the application in front, read from its
// window facts: its process id, its name (the window's WM_CLASS class, else the
// executable's base name), its path (the executable, or the ".app" bundle
// that holds it) and the focused window's title (a transient dialog reports
// the window it belongs to).

#include "platform/bundle.h"
#include "platform/window_facts.h"

#include <deque>
#include <optional>
#include <string>

namespace platform {

struct front_application {
    int pid = 0;
    std::string name;
    std::string path;
    // The window it was found from: what is kept of a process may be kept
    // with these, as another process may get a closed one's id.
    window_facts::window_id window = 0;
    std::uint64_t window_generation = 0;
};

// Where the front window is looked up: the window manager's active window
// only, or that with the input focus as fallback on a server without a
// window manager that names the active window (_NET_SUPPORTED).
enum class front_window_source { active_window, active_or_input_focus };

// The front window, or 0 when there is none from that source.
window_facts::window_id front_window(window_facts& session, front_window_source source);

// The executables of the last few windows and processes asked about, each
// read once (a switch back and forth reads none): a window's process cannot
// become another program while the window lives (its connection closes on
// exec). A later window with the window's id is another generation.
class executable_memo {
public:
    std::string of(window_facts& session, window_facts::window_id window, int pid);

private:
    struct known {
        window_facts::window_id window = 0;
        std::uint64_t generation = 0;
        int pid = 0;
        std::string executable;
    };
    std::deque<known> recent_;  // most recently asked first
};

// The facts of the application owning a window; nullopt when no process can
// be found for it. With a memo the executable is read once per window.
std::optional<front_application> application_of(window_facts& session, window_facts::window_id window,
                                                executable_memo* memo = nullptr);

// The title shown for a window: its owner's title when it is transient for
// another window, else its own.
std::string focused_title(window_facts& session, window_facts::window_id window);

// The nearest folder named "*.app" above the executable, else the executable.
std::string application_path_of(const std::string& executable);

}  // namespace platform
