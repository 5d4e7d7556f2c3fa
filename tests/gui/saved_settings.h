#pragma once
// What the agent saved, as programs we did not write read it: python's json
// module reads kestreld.json, grep -F searches the debug log.

#include "core/foundation/system.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

namespace kes::testing {

inline std::string settings_file() { return system::create()->get_config_json_path(); }

// The four proxy entries of kestreld.json, one a line, in the order server,
// port, user name, password ("<absent>" for a missing key).
inline std::string saved_proxy_settings() {
    const auto read = run_program(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "saved = json.load(open(sys.argv[1], encoding='utf-8'))\n"
         "for key in ('proxy_server', 'proxy_port', 'proxy_username', 'proxy_password_hash'):\n"
         "    print(saved.get(key, '<absent>'))\n",
         settings_file()});
    return read.exit_code == 0 ? read.output : "python could not read the settings: " + read.output;
}

// The file's permission bits; -1 when it cannot be read.
inline int file_mode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// Whether grep -F finds `text` in the debug log (a failing grep fails the test).
inline bool debug_log_holds(const std::string& text) {
    const auto found = run_program({"/bin/grep", "-F", "-q", "-e", text, system::create()->get_log_dir() + "/debug_log.txt"});
    EXPECT_TRUE(found.exit_code == 0 || found.exit_code == 1) << "grep could not read the debug log";
    return found.exit_code == 0;
}

}  // namespace kes::testing
