#include "tests/support/test_environment.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kes::testing {
namespace {
std::string home;
}

void enter_private_home() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kes-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    home = pattern;
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    ::setenv("TMPDIR", (home + "/tmp").c_str(), 1);
    std::system(("mkdir -p '" + home + "/tmp' '" + home + "/run' && chmod 700 '" + home + "/run'").c_str());
    // The reachability probe asks a closed loopback port: "no network" unless
    // a test points it at the stand-in's probe port.
    ::setenv("KES_REACHABILITY_PROBE_URL", "http://127.0.0.1:9/", 1);
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                             "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"}) {
        ::unsetenv(name);
    }
}

void remove_private_home() {
    if (home.empty()) return;
    boost::system::error_code ignored;
    boost::filesystem::remove_all(home, ignored);
}

const std::string& private_home() { return home; }

int run_all_tests_in_private_home(int argc, char** argv) {
    enter_private_home();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    remove_private_home();
    return result;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace kes::testing
