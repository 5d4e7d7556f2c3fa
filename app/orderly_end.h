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
class logger;

// Answers true when the threads ended within the grace period.
bool stop_daemon_serving_main_queue(daemon& target, platform::main_queue& queue,
                                    std::chrono::milliseconds grace = std::chrono::seconds(5));

// The one orderly end, once the main loop has ended (quit from the menu, or
// SIGTERM, SIGINT, SIGHUP): the threads stopped and joined as above, the
// record open at that moment completed, every record in memory written to an
// upload file, the main queue closed (a thread still waiting on it gets no
// answer instead of waiting for ever) and the exit banner logged. Answers
// whether the threads ended within the grace period.
bool end_in_order(daemon& target, logger& activity_logger, platform::main_queue& queue,
                  std::chrono::milliseconds grace = std::chrono::seconds(5));

}  // namespace kes
