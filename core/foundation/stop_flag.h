#pragma once
// A flag raised once to end a thread's loop; the thread sleeps on it between
// its passes. A sleep that runs its course costs one system call, where a
// condition variable's costs two: taking its mutex back marks the mutex
// contended, so giving it up afterwards makes a wake-up call for nobody.
// The loops sleep several times a second all day.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kes {

class stop_flag {
public:
    // Wakes every sleeper; the flag stays raised.
    void raise();
    bool raised() const { return state_.load() != 0; }
    // True when the flag is raised, before or during the sleep; false when
    // `duration` ran out first.
    bool wait_for(std::chrono::milliseconds duration) const;

private:
    mutable std::atomic<std::uint32_t> state_{0};
};

}  // namespace kes
