#pragma once
// What the desktop tells about its windows, as the grabber needs it: which
// window is in front and, per window, its process, class, title and the
// window it is transient for. The X11 implementation is
// platform/linux/x11_windows.h; tests use platform/fake/fake_window_facts.h.
//
// Between `begin_pass` and `end_pass` the answers stay consistent with one
// another. A lost connection to the desktop ends nothing here: the source
// says it is `lost` and answers "none" from then on; whoever owns the
// program's end decides what follows.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

class window_facts {
public:
    using window_id = std::uint64_t;  // 0 means no window

    virtual ~window_facts() = default;

    // False while no desktop answers, and for good once it was lost.
    virtual bool connected() = 0;
    virtual bool lost() const = 0;

    virtual void begin_pass() = 0;
    virtual void end_pass() = 0;

    // Grows with everything that may change an answer; while it stands still
    // every answer but the input focus is what it was.
    virtual std::uint64_t changes() const = 0;

    // nullopt when the desktop names no active window at all (no window
    // manager publishes it), 0 when it names none right now.
    virtual std::optional<window_id> active_window() = 0;
    // A running window manager names the active window: its answer, even
    // "no window", is the front window.
    virtual bool window_manager_names_active_window() = 0;
    // The top-level client window holding the input focus, or 0.
    virtual window_id input_focus_window() = 0;

    virtual std::optional<int> window_pid(window_id window) = 0;
    // The class half of WM_CLASS; empty when absent.
    virtual std::string window_class(window_id window) = 0;
    // Empty when absent.
    virtual std::string window_title(window_id window) = 0;
    // The window it is transient for, or 0.
    virtual window_id transient_for(window_id window) = 0;
    // Another number once the id may name another window than before (the
    // server hands a closed client's ids to the next client): what is kept
    // per window, such as its program, is kept with this number.
    virtual std::uint64_t window_generation(window_id window) = 0;

    // The executable of a process; empty when it cannot be read.
    virtual std::string executable_of(int pid) = 0;
};

}  // namespace platform
