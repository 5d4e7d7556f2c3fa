#pragma once
// A desktop whose windows the test describes: which one is active or holds
// the input focus, and each one's process, class, title, owner and the
// executables of processes. Every change counts as a change of the picture,
// as a server's event would. Answers only on the thread that asks (no lock):
// set it up before handing it over.

#include "platform/window_facts.h"

#include <map>

namespace platform {

class fake_window_facts final : public window_facts {
public:
    struct window {
        std::optional<int> pid;
        std::string wm_class;
        std::string title;
        window_id owner = 0;
    };

    bool connected() override { return !lost_ && connected_; }
    bool lost() const override { return lost_; }
    void begin_pass() override {}
    void end_pass() override {}
    std::uint64_t changes() const override { return changes_; }

    std::optional<window_id> active_window() override;
    bool window_manager_names_active_window() override;
    window_id input_focus_window() override;
    std::optional<int> window_pid(window_id id) override;
    std::string window_class(window_id id) override;
    std::string window_title(window_id id) override;
    window_id transient_for(window_id id) override;
    // New for each window made with `set_window` where none was.
    std::uint64_t window_generation(window_id id) override;
    std::string executable_of(int pid) override;

    // A window made or changed; `id` must not be 0.
    void set_window(window_id id, window facts);
    void set_title(window_id id, std::string title);
    void remove_window(window_id id);
    // As a window manager does: names the active window (0 for none).
    void set_active(window_id id);
    // A bare server: no active window is named, the input focus tells.
    void set_input_focus(window_id id);
    void set_executable(int pid, std::string path);
    void set_connected(bool connected);
    // The desktop went away for good.
    void lose();


private:
    const window* find(window_id id) const;
    bool live() const { return connected_ && !lost_; }

    std::map<window_id, window> windows_;
    std::map<window_id, std::uint64_t> generations_;
    std::uint64_t last_generation_ = 0;
    std::map<int, std::string> executables_;
    std::optional<window_id> active_;
    window_id focus_ = 0;
    bool connected_ = true;
    bool lost_ = false;
    std::uint64_t changes_ = 0;
};

}  // namespace platform
