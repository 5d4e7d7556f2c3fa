#include "platform/workspace.h"

#include "platform/bundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// A process's environment is at most a few hundred kilobytes in practice;
// one that is larger is read up to here.
constexpr std::size_t max_environment_size = 1 << 20;

std::optional<int> pid_of(const char* name) {
    if (*name < '1' || *name > '9') return std::nullopt;
    char* end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid > 0x7FFFFFFF) return std::nullopt;
    return static_cast<int>(pid);
}

std::string read_proc_file(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    char buffer[8192];
    while (text.size() < limit) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// The runtime folder the process was started with, as runtime_base_dir()
// makes it; nullopt when its environment cannot be read.
std::optional<std::string> session_of(int pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/environ";
    if (::access(path.c_str(), R_OK) != 0) return std::nullopt;
    std::string environment = read_proc_file(path, max_environment_size);
    // A process in the middle of starting its program shows an empty
    // environment until the kernel has laid the new one out.
    for (int attempt = 0; environment.empty() && attempt < 50 && ::access(path.c_str(), R_OK) == 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        environment = read_proc_file(path, max_environment_size);
    }
    const std::string name = "XDG_RUNTIME_DIR=";
    for (std::size_t at = 0; at < environment.size();) {
        auto end = environment.find('\0', at);
        if (end == std::string::npos) end = environment.size();
        if (environment.compare(at, name.size(), name) == 0) {
            return runtime_base_dir(environment.substr(at + name.size(), end - at - name.size()).c_str());
        }
        at = end + 1;
    }
    return runtime_base_dir(nullptr);
}

// Field 22 of /proc/<pid>/stat; the command name before it may hold any
// character, so fields are counted from its closing parenthesis.
std::optional<unsigned long long> start_time_of(int pid) {
    const std::string stat = read_proc_file("/proc/" + std::to_string(pid) + "/stat", 4096);
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::size_t at = close + 1;
    for (int field = 3; field <= 22; ++field) {
        const auto start = stat.find_first_not_of(' ', at);
        if (start == std::string::npos) return std::nullopt;
        at = stat.find(' ', start);
        if (at == std::string::npos) at = stat.size();
        if (field == 22) return std::strtoull(stat.substr(start, at - start).c_str(), nullptr, 10);
    }
    return std::nullopt;
}

bool owned_by_this_user(int pid) {
    struct stat info {};
    const std::string path = "/proc/" + std::to_string(pid);
    return ::stat(path.c_str(), &info) == 0 && info.st_uid == ::getuid();
}

class spawn_attributes {
public:
    spawn_attributes() { ok_ = ::posix_spawnattr_init(&attributes_) == 0; }
    ~spawn_attributes() {
        if (ok_) ::posix_spawnattr_destroy(&attributes_);
    }
    spawn_attributes(const spawn_attributes&) = delete;
    spawn_attributes& operator=(const spawn_attributes&) = delete;

    // A new session, so the application outlives whoever started it and no
    // terminal's hang-up reaches it; and none of this process's blocked or
    // ignored signals.
    bool detach() {
        if (!ok_) return false;
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        return ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                            POSIX_SPAWN_SETSIGDEF) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0;
    }
    const posix_spawnattr_t* get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};

// What the application finds open: /dev/null on its standard streams and
// nothing else, so that it neither holds a pipe of whoever started it open
// nor dies writing to one that was closed.
class spawn_file_actions {
public:
    spawn_file_actions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~spawn_file_actions() {
        if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
    }
    spawn_file_actions(const spawn_file_actions&) = delete;
    spawn_file_actions& operator=(const spawn_file_actions&) = delete;

    bool detach_streams() {
        return ok_ && ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

class proc_workspace final : public workspace {
public:
    std::vector<running_application> running_applications() override {
        const std::string own_session = runtime_base_dir(std::getenv("XDG_RUNTIME_DIR"));
        std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
        std::vector<running_application> found;
        if (!proc) return found;
        std::map<std::string, std::string> identifiers;  // one Info.plist read per bundle
        while (const dirent* entry = ::readdir(proc.get())) {
            const std::optional<int> pid = pid_of(entry->d_name);
            if (!pid || !owned_by_this_user(*pid)) continue;
            const std::string bundle = enclosing_bundle_path(executable_of(*pid));
            if (bundle.empty() || session_of(*pid) != own_session) continue;
            const std::optional<unsigned long long> started = start_time_of(*pid);
            if (!started) continue;  // ended meanwhile
            auto identifier = identifiers.find(bundle);
            if (identifier == identifiers.end()) {
                identifier = identifiers.emplace(bundle, bundle_identifier(bundle)).first;
            }
            found.push_back({*pid, *started, bundle, identifier->second});
        }
        std::sort(found.begin(), found.end(),
                  [](const running_application& a, const running_application& b) { return a.pid < b.pid; });
        return found;
    }

    std::optional<int> launch_application(const std::string& bundle_path) override {
        std::string executable = bundle_executable(bundle_path);
        if (executable.empty()) return std::nullopt;
        spawn_attributes attributes;
        spawn_file_actions files;
        if (!attributes.detach() || !files.detach_streams()) return std::nullopt;
        char* const arguments[] = {executable.data(), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, executable.c_str(), files.get(), attributes.get(), arguments, environ) != 0) {
            return std::nullopt;
        }
        return static_cast<int>(pid);
    }
};

}  // namespace

std::unique_ptr<workspace> make_proc_workspace() { return std::make_unique<proc_workspace>(); }

}  // namespace platform
