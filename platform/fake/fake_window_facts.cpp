#include "platform/fake/fake_window_facts.h"

namespace platform {

const fake_window_facts::window* fake_window_facts::find(window_id id) const {
    if (!live()) return nullptr;
    const auto found = windows_.find(id);
    return found == windows_.end() ? nullptr : &found->second;
}

std::optional<window_facts::window_id> fake_window_facts::active_window() {
    return live() ? active_ : std::nullopt;
}

bool fake_window_facts::window_manager_names_active_window() { return live() && active_.has_value(); }

window_facts::window_id fake_window_facts::input_focus_window() { return live() ? focus_ : 0; }

std::optional<int> fake_window_facts::window_pid(window_id id) {
    const window* facts = find(id);
    return facts ? facts->pid : std::nullopt;
}

std::string fake_window_facts::window_class(window_id id) {
    const window* facts = find(id);
    return facts ? facts->wm_class : std::string();
}

std::string fake_window_facts::window_title(window_id id) {
    const window* facts = find(id);
    return facts ? facts->title : std::string();
}

window_facts::window_id fake_window_facts::transient_for(window_id id) {
    const window* facts = find(id);
    return facts ? facts->owner : 0;
}

std::uint64_t fake_window_facts::window_generation(window_id id) {
    if (!find(id)) return 0;
    return generations_.at(id);
}

std::string fake_window_facts::executable_of(int pid) {
    const auto found = executables_.find(pid);
    return found == executables_.end() ? std::string() : found->second;
}

void fake_window_facts::set_window(window_id id, window facts) {
    if (windows_.count(id) == 0) generations_[id] = ++last_generation_;
    windows_[id] = std::move(facts);
    ++changes_;
}

void fake_window_facts::set_title(window_id id, std::string title) {
    windows_.at(id).title = std::move(title);
    ++changes_;
}

void fake_window_facts::remove_window(window_id id) {
    windows_.erase(id);
    generations_.erase(id);
    ++changes_;
}

void fake_window_facts::set_active(window_id id) {
    active_ = id;
    ++changes_;
}

void fake_window_facts::set_input_focus(window_id id) {
    active_.reset();
    focus_ = id;
    ++changes_;
}

void fake_window_facts::set_executable(int pid, std::string path) {
    executables_[pid] = std::move(path);
    ++changes_;
}

void fake_window_facts::set_connected(bool connected) {
    connected_ = connected;
    ++changes_;
}

void fake_window_facts::lose() {
    lost_ = true;
    ++changes_;
}

}  // namespace platform
