#include "app/orderly_end.h"

#include "core/capture/daemon.h"
#include "core/capture/logger.h"
#include "core/foundation/debug_log.h"
#include "platform/main_queue.h"

#include <atomic>
#include <thread>

namespace kes {

bool stop_daemon_serving_main_queue(daemon& target, platform::main_queue& queue,
                                    std::chrono::milliseconds grace) {
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        target.stop();
        stopped.store(true);
        queue.async([] {});  // wakes the main thread at once
    });
    const bool in_time = queue.serve_until([&] { return stopped.load(); }, grace);
    if (!in_time) {
        log(L"[main] Worker threads did not end in time; closing the main queue.", log_level::error);
        queue.close();
    }
    stopper.join();
    return in_time;
}

bool end_in_order(daemon& target, logger& activity_logger, platform::main_queue& queue,
                  std::chrono::milliseconds grace) {
    const bool in_time = stop_daemon_serving_main_queue(target, queue, grace);
    // Old logs not converted yet stay for the next start.
    activity_logger.stop_converting_old_logs();
    // The record open at this moment is work the user did: it goes into the
    // final flush instead of being dropped.
    target.complete_open_record();
    activity_logger.write_current_log_to_disk();
    queue.close();
    log(L"***** Exiting Kestrel *****\n\n", 5);
    return in_time;
}

}  // namespace kes
