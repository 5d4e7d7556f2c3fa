#include "osx/osx_system.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "platform/bundle.h"

#include <boost/filesystem.hpp>

namespace kes {

std::shared_ptr<system> system::create() { return std::make_shared<osx_system>(); }

osx_system::osx_system() = default;

double osx_system::get_idle_time() { return 0.0; }

bool osx_system::is_display_on() { return true; }

bool osx_system::is_other_instance_running() { return false; }

std::wstring osx_system::get_time_zone_name() { return {}; }

std::string osx_system::get_user_library_dir() { return platform::user_data_dir(); }

std::string osx_system::get_temp_dir() { return platform::temp_dir(); }

std::string osx_system::get_app_dir() {
    const std::string bundle = platform::main_bundle_path();
    const auto at = bundle.find("Kestrel.app");
    return at == std::string::npos ? bundle : bundle.substr(0, at);
}

std::string osx_system::get_ca_bundle_path() {
    const std::string path = platform::bundle_resource_dir() + "/curl-ca-bundle.crt";
    boost::system::error_code ec;
    return boost::filesystem::is_regular_file(path, ec) ? path : std::string();
}

void osx_system::get_update() {}

std::wstring osx_system::get_app_path() {
    return util::utf8_to_wstring_lossy(platform::main_bundle_path());
}

}  // namespace kes
