// The workspace against real processes and /proc.
#include "platform/workspace.h"
#include "tests/support/standin_bundle.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace platform {
namespace {

using kes::testing::end_standin;
using kes::testing::make_standin_bundle;

std::optional<running_application> listed(workspace& space, int pid) {
    for (const auto& application : space.running_applications()) {
        if (application.pid == pid) return application;
    }
    return std::nullopt;
}

// A line "Name:\t<hex mask>" of /proc/<pid>/status, as a number.
unsigned long long status_mask(int pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) return std::stoull(line.substr(name.size() + 1), nullptr, 16);
    }
    return ~0ULL;
}

// The process id of a child of `pid` running /usr/bin/sleep, once there is one.
int wait_for_child(int pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::ifstream stat(entry.path() / "stat");
            std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
            const auto close = text.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream fields(text.substr(close + 1));
            std::string state;
            int parent = 0;
            fields >> state >> parent;
            std::error_code ignored;
            if (parent == pid && std::filesystem::read_symlink(entry.path() / "exe", ignored) == "/usr/bin/sleep") {
                return std::stoi(name);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return 0;
}

class Workspace : public ::testing::Test {
protected:
    void TearDown() override {
        for (int pid : started_) end_standin(pid);
    }

    std::optional<int> launch(const std::string& bundle) {
        const auto pid = space_->launch_application(bundle);
        if (pid) {
            started_.push_back(*pid);
            EXPECT_TRUE(kes::testing::wait_until_started(*pid));
        }
        return pid;
    }

    const std::string home_ = kes::testing::private_home();
    std::unique_ptr<workspace> space_ = make_proc_workspace();
    std::vector<int> started_;
};

TEST_F(Workspace, LaunchedApplicationRunsInItsOwnSessionAndIsListedWithItsIdentifier) {
    const auto bundle = make_standin_bundle(home_, "Stand-In.app", "com.kestrel.Test");
    // A signal this process ignores is not ignored by the application.
    const auto previous_hup = std::signal(SIGHUP, SIG_IGN);
    // Nor a pipe it holds open, even one left inheritable.
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const auto pid = launch(bundle.path);
    std::signal(SIGHUP, previous_hup);
    ASSERT_TRUE(pid);
    const std::string our_pipe = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(pipe_ends[1]));
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(*pid) + "/fd")) {
        std::error_code ignored;
        EXPECT_NE(std::filesystem::read_symlink(fd.path(), ignored), our_pipe);
    }
    for (const char* stream : {"0", "1", "2"}) {
        EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(*pid) + "/fd/" + stream), "/dev/null");
    }

    EXPECT_EQ(::getsid(*pid), *pid);
    EXPECT_NE(::getsid(*pid), ::getsid(0));
    // The shell's own signal handling comes and goes; its sleeping child shows
    // the dispositions the shell was given.
    const int sleeper = wait_for_child(*pid);
    ASSERT_GT(sleeper, 0);
    EXPECT_EQ(status_mask(sleeper, "SigIgn") & (1ULL << (SIGHUP - 1)), 0u);

    const auto application = listed(*space_, *pid);
    ASSERT_TRUE(application);
    EXPECT_EQ(application->bundle_path, bundle.path);
    EXPECT_EQ(application->bundle_identifier, "com.kestrel.Test");
    EXPECT_GT(application->start_time, 0u);
    // No arguments: the interpreter's command line is itself and the script.
    std::ifstream cmdline("/proc/" + std::to_string(*pid) + "/cmdline");
    std::stringstream text;
    text << cmdline.rdbuf();
    EXPECT_EQ(text.str(), bundle.path + "/Contents/MacOS/standin-shell" + '\0' + bundle.executable + '\0');

    // This test program runs from no bundle, so it is not an application.
    EXPECT_FALSE(listed(*space_, static_cast<int>(::getpid())));
    // Listed in process-id order.
    const auto all = space_->running_applications();
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; }));
}

TEST_F(Workspace, ApplicationsOfAnotherRuntimeFolderAreNotThisSessions) {
    const auto bundle = make_standin_bundle(home_, "Other.app", "com.kestrel.Test");
    const std::string own = std::getenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_RUNTIME_DIR", (home_ + "/elsewhere").c_str(), 1);
    const auto elsewhere = launch(bundle.path);
    ::unsetenv("XDG_RUNTIME_DIR");
    const auto without = launch(bundle.path);
    ::setenv("XDG_RUNTIME_DIR", own.c_str(), 1);
    const auto here = launch(bundle.path);
    ASSERT_TRUE(elsewhere && without && here);

    EXPECT_FALSE(listed(*space_, *elsewhere));
    EXPECT_FALSE(listed(*space_, *without));
    EXPECT_TRUE(listed(*space_, *here));
    // Without the variable the session is the fallback folder's.
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(listed(*space_, *without));
    ::setenv("XDG_RUNTIME_DIR", own.c_str(), 1);
}

TEST_F(Workspace, ABundleWithoutAnIdentifierIsListedWithoutOne) {
    const auto bundle = make_standin_bundle(home_, "Plain.app", "com.kestrel.Test");
    const auto pid = launch(bundle.path);
    ASSERT_TRUE(pid);
    std::filesystem::remove(bundle.path + "/Contents/Info.plist");
    const auto application = listed(*space_, *pid);
    ASSERT_TRUE(application);
    EXPECT_EQ(application->bundle_identifier, "");
}

TEST_F(Workspace, OnlyARegularExecutableFileTheBundleNamesIsLaunched) {
    const auto bundle = make_standin_bundle(home_, "Checked.app", "com.kestrel.Test");
    const std::string plist = bundle.path + "/Contents/Info.plist";
    const auto names = [&](const std::string& executable) {
        std::ofstream(plist) << "<plist><dict><key>CFBundleExecutable</key><string>" << executable
                             << "</string></dict></plist>";
    };
    const std::string macos = bundle.path + "/Contents/MacOS";
    std::filesystem::create_directory(macos + "/folder");
    std::ofstream(macos + "/plain") << "#!/bin/sh\n";
    ASSERT_EQ(::mkfifo((macos + "/pipe").c_str(), 0700), 0);
    std::filesystem::create_directories(bundle.path + "/Contents/Other");
    std::filesystem::copy_file(bundle.executable, bundle.path + "/Contents/Other/standin");

    for (const std::string executable : {"", "folder", "plain", "pipe", "missing", "../Other/standin", ".", ".."}) {
        names(executable);
        EXPECT_FALSE(launch(bundle.path)) << "'" << executable << "'";
    }
    std::filesystem::remove(plist);
    EXPECT_FALSE(launch(bundle.path)) << "no Info.plist";
    EXPECT_FALSE(launch(home_ + "/Missing.app"));

    names("standin");
    EXPECT_TRUE(launch(bundle.path));
}

}  // namespace
}  // namespace platform
