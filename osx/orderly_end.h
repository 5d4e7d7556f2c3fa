#pragma once
// Stopping the daemon from the main thread without waiting on a worker that
// waits on the main thread: the main queue is served while the threads are
// joined, and closed (releasing every waiter) once the grace period is over.

#include <chrono>

namespace platform {
class main_queue;
}

namespace kes {

class daemon;

// Answers true when the threads ended within the grace period.
bool stop_daemon_serving_main_queue(daemon& target, platform::main_queue& queue,
                                    std::chrono::milliseconds grace = std::chrono::seconds(5));

}  // namespace kes
