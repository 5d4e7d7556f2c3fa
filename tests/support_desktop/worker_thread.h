#pragma once
// Runs work on a worker thread, as the scanner would run it, while the
// calling thread serves as the main thread: whatever the work hands to the
// main queue runs here meanwhile.

#include "platform/main_queue.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace kes::testing {

inline void run_on_worker(platform::main_queue& queue, const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        queue.async([] {});
    });
    queue.serve_until([&] { return done.load(); }, std::chrono::seconds(20));
    worker.join();
}

}  // namespace kes::testing
