#include "osx/orderly_end.h"

#include "core/capture/daemon.h"
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

}  // namespace kes
