#pragma once
// What the core's test programs install in place of the desktop's platform
// objects, so that they link neither X11 nor Qt: a platform system over the
// private home and a grabber with nothing in front. No user interface is
// installed: a test that needs one passes its own.

#include "core/capture/grabber.h"
#include "core/foundation/system.h"

#include <string>

namespace kes::testing {

// The folders are those the desktop's system finds for a program outside a
// bundle in the private home: the freedesktop data folder, TMPDIR, the
// executable's folder as application folder, and no CA bundle. Nobody is
// idle, no other copy runs, the zone is the one TZ names, updates do nothing.
class home_system : public system {
public:
    double get_idle_time() override { return 0.0; }
    bool is_other_instance_running() override { return false; }
    std::wstring get_time_zone_name() override;
    std::string get_user_library_dir() override;
    std::string get_temp_dir() override;
    std::string get_app_dir() override;
    std::string get_ca_bundle_path() override { return {}; }
    void get_update() override {}
};

// A desktop with no front application: every answer is empty.
class empty_grabber : public grabber {
public:
    std::wstring get_active_process_id() override { return {}; }
    std::wstring get_process_name() override { return {}; }
    std::wstring get_application_name() override { return {}; }
    std::wstring get_process_filename() override { return {}; }
    std::wstring get_process_version(bool) override { return {}; }
    std::wstring get_window_title() override { return {}; }
    std::wstring get_os_username() override { return {}; }
    std::wstring get_computer_name() override { return {}; }
};

// Installs the two as the core's factories.
void install_core_fakes();

}  // namespace kes::testing
