#include "platform/linux/front_application.h"

#include "platform/bundle.h"

#include <algorithm>

namespace platform {
namespace {

std::string base_name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

window_facts::window_id front_window(window_facts& session, front_window_source source) {
    const std::optional<window_facts::window_id> active = session.active_window();
    if (active) return *active;
    if (source == front_window_source::active_window) return 0;
    // A window manager that names the active window has named none: the
    // input focus then rests on the manager's own window or the root, which
    // is no application of the user's.
    if (session.window_manager_names_active_window()) return 0;
    return session.input_focus_window();
}

std::string application_path_of(const std::string& executable) {
    const std::string bundle = enclosing_bundle_path(executable);
    return bundle.empty() ? executable : bundle;
}

std::string executable_memo::of(window_facts& session, window_facts::window_id window, int pid) {
    constexpr std::size_t kept = 8;
    const std::uint64_t generation = session.window_generation(window);
    const auto found = std::find_if(recent_.begin(), recent_.end(), [&](const known& entry) {
        return entry.window == window && entry.generation == generation && entry.pid == pid &&
               !entry.executable.empty();
    });
    known entry =
        found != recent_.end() ? std::move(*found) : known{window, generation, pid, session.executable_of(pid)};
    if (found != recent_.end()) recent_.erase(found);
    recent_.push_front(std::move(entry));
    if (recent_.size() > kept) recent_.pop_back();
    return recent_.front().executable;
}

std::optional<front_application> application_of(window_facts& session, window_facts::window_id window,
                                                executable_memo* memo) {
    if (window == 0) return std::nullopt;
    const std::optional<int> pid = session.window_pid(window);
    if (!pid) return std::nullopt;
    front_application facts;
    facts.pid = *pid;
    facts.window = window;
    facts.window_generation = session.window_generation(window);
    const std::string executable = memo ? memo->of(session, window, *pid) : session.executable_of(*pid);
    facts.name = session.window_class(window);
    if (facts.name.empty()) facts.name = base_name(executable);
    facts.path = application_path_of(executable);
    return facts;
}

std::string focused_title(window_facts& session, window_facts::window_id window) {
    if (window == 0) return {};
    const window_facts::window_id owner = session.transient_for(window);
    return session.window_title(owner != 0 ? owner : window);
}

}  // namespace platform
