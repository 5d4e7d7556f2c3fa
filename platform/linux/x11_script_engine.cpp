#include "platform/linux/x11_script_engine.h"

#include "platform/linux/front_application.h"

namespace platform {

std::shared_ptr<script_engine> script_engine::create() { return std::make_shared<x11_script_engine>(); }

x11_script_engine::x11_script_engine(std::string display_name) : session_(std::move(display_name)) {}

script_result x11_script_engine::run_named(const std::string& name) {
    const bool known = name == "CurrentApplicationName" || name == "CurrentApplicationPath" || name == "GetProcessID";
    if (!known) return script_result::missing("no script named " + name);
    const auto window = front_window(session_, front_window_source::active_or_input_focus);
    const std::optional<front_application> front = application_of(session_, window);
    if (!front) return script_result::failure("no front application");
    if (name == "GetProcessID") return script_result::answer(std::to_string(front->pid));
    const std::string& answer = name == "CurrentApplicationName" ? front->name : front->path;
    if (answer.empty()) return script_result::failure("the front application does not tell");
    return script_result::answer(answer);
}

// No browser here can be scripted: every script text fails, so a browser's
// address chain goes on to its next link.
script_result x11_script_engine::run_source(const std::string&) {
    return script_result::failure("unsupported: this desktop has no browser scripting");
}

}  // namespace platform
