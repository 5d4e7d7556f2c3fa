#include "platform/bundle.h"

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

std::string executable_path() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string main_bundle_path() {
    const std::string exe = executable_path();
    std::string folder = exe.substr(0, exe.rfind('/'));
    for (std::string probe = folder; !probe.empty(); probe = probe.substr(0, probe.rfind('/'))) {
        if (ends_with(probe, ".app")) return probe;
        if (probe.find('/') == std::string::npos) break;
    }
    return folder;
}

std::string bundle_resource_dir() { return main_bundle_path() + "/Contents/Resources"; }

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

std::string runtime_dir() {
    const std::string dir = env_or("XDG_RUNTIME_DIR", "/tmp") + "/kestrel-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return dir;
    ::chmod(dir.c_str(), 0700);
    return dir;
}

}  // namespace platform
