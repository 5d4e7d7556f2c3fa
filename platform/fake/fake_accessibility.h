#pragma once
// A permission the test gives or takes away, counting how often it was asked.

#include "platform/accessibility.h"

#include <atomic>

namespace platform {

class fake_accessibility final : public accessibility {
public:
    explicit fake_accessibility(bool trusted_at_start = true) : trusted(trusted_at_start) {}

    bool is_process_trusted() override {
        ++queries;
        return trusted.load();
    }

    std::atomic<bool> trusted;
    std::atomic<int> queries{0};
};

}  // namespace platform
