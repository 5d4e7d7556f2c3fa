#pragma once
// An updater that counts checks, answers as told, and can fail like a broken feed.

#include "platform/updater.h"

#include <atomic>
#include <stdexcept>

namespace platform {

class fake_updater final : public updater {
public:
    bool check_in_background() override {
        ++checks;
        if (fail) throw std::runtime_error("feed unreachable");
        return answer;
    }

    std::atomic<int> checks{0};
    bool answer = false;
    bool fail = false;
};

}  // namespace platform
