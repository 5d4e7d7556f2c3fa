#pragma once
// The platform system on this desktop: X11 for idle time and display state,
// a lock file for running copies, the bundle and freedesktop folders for paths.

#include "core/foundation/system.h"

#include <string>

namespace kes {

class osx_system : public system {
public:
    osx_system();

    double get_idle_time() override;
    bool is_display_on() override;
    bool is_other_instance_running() override;
    std::wstring get_time_zone_name() override;
    std::string get_user_library_dir() override;
    std::string get_temp_dir() override;
    std::string get_app_dir() override;
    std::string get_ca_bundle_path() override;
    void get_update() override;

    // The main bundle's path (the agent reports its own version from it).
    std::wstring get_app_path();
};

}  // namespace kes
