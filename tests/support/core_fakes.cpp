#include "tests/support/core_fakes.h"

#include "core/foundation/text.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace kes::testing {
namespace {

std::string environment_or(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

}  // namespace

std::wstring home_system::get_time_zone_name() {
    std::string zone = environment_or("TZ", "");
    if (!zone.empty() && zone.front() == ':') zone.erase(0, 1);
    return util::utf8_to_wstring_lossy(zone);
}

std::string home_system::get_user_library_dir() {
    return environment_or("XDG_DATA_HOME", environment_or("HOME", "") + "/.local/share");
}

std::string home_system::get_temp_dir() {
    std::string dir = environment_or("TMPDIR", "/tmp");
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string home_system::get_app_dir() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path().string();
}

void install_core_fakes() {
    system::install_factory([] { return std::make_shared<home_system>(); });
    grabber::install_factory([] { return std::make_shared<empty_grabber>(); });
}

}  // namespace kes::testing
