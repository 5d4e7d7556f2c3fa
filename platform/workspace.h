#pragma once
// The applications of this user's desktop session: which run, and starting one.
//
// An application is a process of this user whose executable lies inside a
// "*.app" bundle; it is known by the bundle's CFBundleIdentifier. The session
// is the per-user runtime folder: a process counts when it was started with
// the same one as this process, the folder the single-instance lock lives in,
// so that "running" means the same here and for that lock.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct running_application {
    int pid = 0;
    // When the process started, in clock ticks after boot: orders processes by age.
    unsigned long long start_time = 0;
    std::string bundle_path;
    std::string bundle_identifier;  // empty when the bundle names none
};

class workspace {
public:
    virtual ~workspace() = default;

    // This session's applications, in process-id order (this process included
    // when it runs from a bundle).
    virtual std::vector<running_application> running_applications() = 0;

    // Starts the executable the bundle's Info.plist names, with no arguments,
    // in a session of its own with /dev/null as its standard streams, without
    // a shell and without waiting for it.
    // The new process id, or nullopt when the bundle names no regular
    // executable file or it cannot be started.
    virtual std::optional<int> launch_application(const std::string& bundle_path) = 0;
};

// The workspace read from /proc and started with posix_spawn.
std::unique_ptr<workspace> make_proc_workspace();

}  // namespace platform
