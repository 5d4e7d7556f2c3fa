#include "helper/AppDelegate.h"

#include <utility>
#include <vector>

namespace {

constexpr const char* agent_bundle_identifier = "com.kestrel.Kestrel";

// The folders of a path, the root "/" counting as the first.
std::vector<std::string> path_components(const std::string& path) {
    std::vector<std::string> components;
    if (!path.empty() && path.front() == '/') components.emplace_back("/");
    for (std::size_t at = 0; at < path.size();) {
        auto end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) components.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return components;
}

std::string path_with_components(const std::vector<std::string>& components) {
    std::string path;
    for (const std::string& component : components) {
        if (!path.empty() && path.back() != '/') path += '/';
        path += component;
    }
    return path;
}

}  // namespace

AppDelegate::AppDelegate(std::shared_ptr<platform::workspace> workspace, std::string bundle_path)
    : workspace_(std::move(workspace)), bundle_path_(std::move(bundle_path)) {}

void AppDelegate::applicationDidFinishLaunching() {
    for (const platform::running_application& application : workspace_->running_applications()) {
        if (application.bundle_identifier == agent_bundle_identifier) return;
    }
    // The helper bundle, LoginItems, Library and Contents lie between the
    // agent's bundle and the helper's.
    std::vector<std::string> components = path_components(bundle_path_);
    if (components.size() < 5) return;
    components.resize(components.size() - 4);
    // Whether it started is not looked at: a helper moved out of its place
    // finds nothing to start, and has nobody to tell.
    (void)workspace_->launch_application(path_with_components(components));
}
