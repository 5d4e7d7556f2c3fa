#include "core/foundation/system.h"

#include "core/foundation/config.h"
#include "core/foundation/private_files.h"
#include "core/foundation/text.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace kes {
namespace {

bool file_exists(const std::string& path) {
    boost::system::error_code ec;
    return boost::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::wstring system::run_command(const std::wstring& command) {
    const std::string narrow_command = util::wstring_to_utf8_lossy(command);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(narrow_command.c_str(), "r"), &::pclose);
    if (!pipe) return L"ERROR";
    // Collect the whole output before decoding, so a character split across
    // two reads survives.
    std::string output;
    char buffer[128];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
    pipe.reset();
    std::wstring text = util::utf8_to_wstring_lossy(output);
    text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
    return text;
}

bool system::is_idle() {
    return get_idle_time() > static_cast<double>(config::instance().get_idle_time_start());
}

std::string system::get_data_dir() {
    const std::string app_dir = get_app_dir();
    if (file_exists(app_dir + "/kestreld.json")) return app_dir;
    return get_user_library_dir() + "/KestrelData";
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
