#pragma once
// Stopping the daemon from the main thread without waiting on a worker that
// waits on the main thread: the main queue is served while the threads are
// joined, and closed (releasing every waiter) once the grace period is over.

#include <chrono>
#include <cstdint>

namespace platform {
class main_queue;
}

namespace kes {

class daemon;
class logger;

// Answers true when the threads ended within the grace period.
bool stop_daemon_serving_main_queue(daemon& target, platform::main_queue& queue,
                                    std::chrono::milliseconds grace = std::chrono::seconds(5));

struct end_outcome {
    bool threads_ended_in_time = true;
    // Records neither an upload file nor the journal holds: gone with the process.
    std::uint32_t records_lost = 0;

    bool clean() const { return threads_ended_in_time && records_lost == 0; }
    explicit operator bool() const { return clean(); }
};

// The exit code of an end that lost records: the caller must hear of it.
inline constexpr int records_lost_exit_code = 2;

// The one orderly end, once the main loop has ended (quit from the menu, or
// SIGTERM, SIGINT, SIGHUP): the threads stopped and joined as above, the
// record open at that moment completed, every record in memory written to an
// upload file, the main queue closed (a thread still waiting on it gets no
// answer instead of waiting for ever) and the exit banner logged. Records
// that reached neither an upload file nor the journal are reported.
end_outcome end_in_order(daemon& target, logger& activity_logger, platform::main_queue& queue,
                         std::chrono::milliseconds grace = std::chrono::seconds(5));

// Says on stderr and in the debug log that `count` records are lost; the
// debug log may be on the same full or read-only disk, stderr is not.
void report_lost_records(std::uint32_t count);

}  // namespace kes
