#pragma once
// The platform system with an idle time the test or probe sets; paths and
// everything else are the real ones of the (private) home.

#include "core/foundation/system.h"

#include <atomic>
#include <memory>
#include <string>

namespace kes::testing {

class settable_idle_system : public system {
public:
    std::atomic<double> idle{0};
    double get_idle_time() override { return idle.load(); }
    bool is_other_instance_running() override { return false; }
    std::string get_user_library_dir() override { return real_->get_user_library_dir(); }
    std::string get_temp_dir() override { return real_->get_temp_dir(); }
    std::string get_app_dir() override { return real_->get_app_dir(); }
    std::string get_ca_bundle_path() override { return real_->get_ca_bundle_path(); }
    void get_update() override {}

private:
    std::shared_ptr<system> real_ = system::create();
};

}  // namespace kes::testing
