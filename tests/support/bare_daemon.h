#pragma once
// The core's daemon with nothing of a platform around it, so that the core's
// tests run its threads without the desktop binding (whose daemon adds the
// account key provisioned in the bundle and log lines of its own).

#include "core/capture/daemon.h"

namespace kes::testing {

class bare_daemon : public daemon {
public:
    using daemon::daemon;

    bool request_stop() override {
        running_.store(false);
        return true;
    }
    bool run_service() override { return true; }
    bool service_hook_1() override { return true; }
    bool service_hook_2() override { return true; }
    bool service_hook_3() override { return false; }
    bool service_hook_4() override { return true; }
};

}  // namespace kes::testing
