#pragma once
// The platform system on this desktop: the X server for idle time and display
// state, a lock file and a socket for running copies, the bundle and
// freedesktop folders for paths, the service's released version for updates.
// The display state is process-wide: every object reports the same answer and
// the first to see a change logs it.

#include "core/foundation/system.h"
#include "platform/linux/x11_session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class instance_lock;
class updater;
class workspace;
}  // namespace platform

namespace kes {

// What an osx_system talks to; the defaults are the process-wide real ones.
struct osx_system_services {
    std::shared_ptr<platform::x11_session> session;
    std::shared_ptr<platform::instance_lock> instance_lock;
    std::shared_ptr<platform::updater> updater;
    // The session's running applications, and this bundle's identifier to
    // find other copies among them (none looked for when either is missing).
    std::shared_ptr<platform::workspace> workspace;
    std::string bundle_identifier;
    // The lock of a data folder, kept by the process once held; none asked
    // for when empty.
    std::function<std::shared_ptr<platform::instance_lock>(const std::string& folder)> data_folder_lock;

    static osx_system_services real();
};

class osx_system : public system {
public:
    explicit osx_system(osx_system_services services = osx_system_services::real());

    // Within a pass idle time and display state come from one reading.
    void begin_pass() override;
    void end_pass() override;

    double get_idle_time() override;
    bool is_display_on() override;
    // Tells a running copy it was started, then answers whether one runs: an
    // older process of this session with this bundle's identifier (as the
    // login helper sees it), the holder of the instance lock, or, for a copy
    // of another session, the holder of the data folder's lock.
    bool is_other_instance_running() override;
    std::wstring get_time_zone_name() override;
    std::string get_user_library_dir() override;
    std::string get_temp_dir() override;
    std::string get_app_dir() override;
    std::string get_ca_bundle_path() override;
    // Returns at once; the check runs on the main queue.
    void get_update() override;

    // The main bundle's path (the agent reports its own version from it).
    std::wstring get_app_path();

private:
    // The reading of the running pass, taken at its first question.
    const platform::x11_sample& pass_sample();
    std::vector<long> older_copies() const;
    bool data_folder_taken();

    osx_system_services services_;
    bool in_pass_ = false;
    std::optional<platform::x11_sample> pass_sample_;
};

}  // namespace kes
