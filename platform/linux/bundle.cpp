#include "platform/bundle.h"

#include "platform/info_plist.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace platform {
namespace {

std::string env_or(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The password database entry of this user, read with the reentrant call:
// several threads ask for it.
struct user_entry {
    passwd entry{};
    std::vector<char> buffer = std::vector<char>(16384);
    bool found = false;
};

user_entry this_user() {
    user_entry user;
    passwd* result = nullptr;
    user.found = ::getpwuid_r(::getuid(), &user.entry, user.buffer.data(), user.buffer.size(), &result) == 0 &&
                 result != nullptr;
    return user;
}

}  // namespace

std::string executable_of(int pid) {
    if (pid <= 0) return {};
    std::vector<char> buffer(4096);
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::string deleted = " (deleted)";
    if (ends_with(path, deleted)) path.resize(path.size() - deleted.size());
    return path;
}

std::string executable_path() { return executable_of(static_cast<int>(::getpid())); }

std::string enclosing_bundle_path(const std::string& path) {
    for (std::string folder = path; !folder.empty();) {
        const auto slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0) break;
        folder.resize(slash);
        if (ends_with(folder, ".app")) return folder;
    }
    return {};
}

std::string main_bundle_path() {
    const std::string exe = executable_path();
    const std::string bundle = enclosing_bundle_path(exe);
    return bundle.empty() ? exe.substr(0, exe.rfind('/')) : bundle;
}

std::string bundle_identifier(const std::string& bundle_path) {
    return info_plist_string(bundle_path + "/Contents/Info.plist", "CFBundleIdentifier");
}

std::string bundle_executable(const std::string& bundle_path) {
    const std::string name = info_plist_string(bundle_path + "/Contents/Info.plist", "CFBundleExecutable");
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return {};
    const std::string path = bundle_path + "/Contents/MacOS/" + name;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::string bundle_resource_dir() { return main_bundle_path() + "/Contents/Resources"; }

std::string bundle_resource_path(const std::string& name, const std::string& type, const std::string& resource_dir) {
    // A name is one file of the folder, never a way out of it.
    if (name.empty() || name.find('/') != std::string::npos || type.find('/') != std::string::npos) return {};
    const std::string path = resource_dir + "/" + name + (type.empty() ? "" : "." + type);
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? path : std::string();
}

std::string home_dir() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    const user_entry user = this_user();
    if (user.found && user.entry.pw_dir) return user.entry.pw_dir;
    return "/";
}

std::string user_name() {
    const user_entry user = this_user();
    return user.found && user.entry.pw_name ? user.entry.pw_name : "";
}

std::string user_data_dir() { return env_or("XDG_DATA_HOME", home_dir() + "/.local/share"); }

std::string user_config_dir() { return env_or("XDG_CONFIG_HOME", home_dir() + "/.config"); }

std::string temp_dir() {
    std::string dir = env_or("TMPDIR", "/tmp");
    if (!ends_with(dir, "/")) dir += "/";
    return dir;
}

std::string runtime_base_dir(const char* xdg_runtime_dir) {
    return xdg_runtime_dir && *xdg_runtime_dir ? std::string(xdg_runtime_dir) : std::string("/tmp");
}

std::string runtime_dir() {
    const std::string dir = runtime_base_dir(std::getenv("XDG_RUNTIME_DIR")) + "/kestrel-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return dir;
    ::chmod(dir.c_str(), 0700);
    return dir;
}

}  // namespace platform
