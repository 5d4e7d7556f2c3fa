#pragma once
// An updater that counts checks and can fail like a broken one.

#include "platform/updater.h"

#include <atomic>
#include <stdexcept>

namespace platform {

class fake_updater final : public updater {
public:
    void check_in_background() override {
        ++checks;
        if (fail) throw std::runtime_error("feed unreachable");
    }

    std::atomic<int> checks{0};
    bool fail = false;
};

}  // namespace platform
