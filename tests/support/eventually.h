#pragma once
// Waiting for another thread in a test: true once the condition holds, false
// when it still does not after the limit (a failure, never a slow pass).

#include <chrono>
#include <functional>
#include <thread>

namespace kes::testing {

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kes::testing
