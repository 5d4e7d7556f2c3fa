#include "core/foundation/system.h"

#include "core/foundation/config.h"
#include "core/foundation/installed_factory.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/text.h"

#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

extern "C" char** environ;

namespace kes {
namespace {

// Never destroyed: threads may still log, and so make systems, at exit.
installed_factory<std::shared_ptr<system>>& system_factory() {
    static auto* const factory = new installed_factory<std::shared_ptr<system>>("kes::system");
    return *factory;
}

class file_descriptor {
public:
    explicit file_descriptor(int fd) : fd_(fd) {}
    ~file_descriptor() { reset(); }
    file_descriptor(const file_descriptor&) = delete;
    file_descriptor& operator=(const file_descriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The agent blocks its termination signals in every thread (they arrive through
// the main loop instead); a command must start with the ordinary mask and
// dispositions, or it could not be interrupted or ended.
std::optional<std::string> run_shell_command(const std::string& command) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;
    const file_descriptor read_end(pipe_fds[0]);
    file_descriptor write_end(pipe_fds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    sigset_t empty_mask;
    sigemptyset(&empty_mask);
    sigset_t all_default;
    sigfillset(&all_default);
    sigdelset(&all_default, SIGKILL);
    sigdelset(&all_default, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &empty_mask);
    posix_spawnattr_setsigdefault(&attributes, &all_default);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string shell_command = command;
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), shell_command.data(), nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, "/bin/sh", &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    write_end.reset();  // else the read below never sees the end of the output
    if (spawned != 0) return std::nullopt;

    std::string output;
    char buffer[4096];
    while (true) {
        const ssize_t got = ::read(read_end.get(), buffer, sizeof buffer);
        if (got > 0) {
            output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return output;
}

bool file_exists(const std::string& path) {
    boost::system::error_code ec;
    return boost::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::wstring system::run_command(const std::wstring& command) {
    const std::optional<std::string> output = run_shell_command(util::wstring_to_utf8_lossy(command));
    if (!output) return L"ERROR";
    // Decoded once, whole: a character split across two reads survives.
    std::wstring text = util::utf8_to_wstring_lossy(*output);
    text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
    return text;
}

std::shared_ptr<system> system::create() { return system_factory().make(); }

void system::install_factory(factory make) { system_factory().install(std::move(make)); }

bool system::is_idle() {
    return get_idle_time() > static_cast<double>(config::instance().get_idle_time_start());
}

std::string system::get_data_dir() {
    const std::string app_dir = get_app_dir();
    if (file_exists(app_dir + "/kestreld.json")) return app_dir;
    // The folder holds the account key and every record. New ones are made
    // 0700 by whoever creates them; one that exists looser (made by an older
    // version, or by hand) is tightened here. The application folder above
    // is shared with others and is not ours to change.
    const std::string data_dir = get_user_library_dir() + "/KestrelData";
    fs::tighten_private_directory(data_dir);
    return data_dir;
}

std::string system::get_browser_support_path() { return get_data_dir() + "/client_browser_support.json"; }

std::string system::get_log_dir() { return get_data_dir() + "/log"; }

std::string system::get_debug_log_path() { return get_log_dir() + "/debug_log.txt"; }

std::string system::get_activities_dir() {
    const std::string dir = get_data_dir() + "/activities";
    fs::create_private_directories(dir);
    return dir;
}

std::string system::get_activities_backup_dir() {
    const std::string dir = get_data_dir() + "/activities_backup";
    fs::create_private_directories(dir);
    return dir;
}

std::string system::settings_file_path(const std::string& file_name) {
    const std::string beside_app = get_app_dir() + "/" + file_name;
    if (file_exists(beside_app)) return beside_app;
    const std::string data_dir = get_data_dir();
    fs::create_private_directories(data_dir);
    return data_dir + "/" + file_name;
}

std::string system::get_config_json_path() { return settings_file_path("kestreld.json"); }

std::string system::get_config_cfg_path() { return settings_file_path("kestreld.cfg"); }

}  // namespace kes
