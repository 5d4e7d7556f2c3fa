#include "tests/support/standin_bundle.h"

#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace kes::testing {

standin_bundle make_standin_bundle(const std::string& parent, const std::string& name,
                                   const std::string& identifier, const std::string& marker) {
    const std::string bundle = parent + "/" + name;
    const std::string macos = bundle + "/Contents/MacOS";
    std::filesystem::create_directories(macos);
    if (!identifier.empty()) {
        std::ofstream(bundle + "/Contents/Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            << "\t<key>CFBundleExecutable</key>\n\t<string>standin</string>\n"
            << "\t<key>CFBundleIdentifier</key>\n\t<string>" << identifier << "</string>\n</dict>\n</plist>\n";
    }
    const std::string shell = macos + "/standin-shell";
    std::filesystem::copy_file("/bin/sh", shell, std::filesystem::copy_options::overwrite_existing);
    const std::string script = macos + "/standin";
    {
        std::ofstream out(script);
        out << "#!" << shell << "\n";
        if (!marker.empty()) out << "echo $$ >> '" << marker << "'\n";
        out << "while :; do sleep 600; done\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    if (!std::filesystem::is_regular_file(script)) throw std::runtime_error("cannot lay out " + bundle);
    return {bundle, script};
}

bool wait_until_started(int pid) {
    const std::string environ_path = "/proc/" + std::to_string(pid) + "/environ";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream environment(environ_path);
        if (!environment) return false;
        if (environment.peek() != std::ifstream::traits_type::eof()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void end_standin(int pid) {
    if (pid <= 0) return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace kes::testing
