#include "app/orderly_end.h"

#include "core/capture/daemon.h"
#include "core/capture/logger.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"
#include "platform/main_queue.h"

#include <atomic>
#include <cstdio>
#include <string>
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

void report_lost_records(std::uint32_t count) {
    const std::string text = std::to_string(count) +
                             " activity records could not be written to the journal or an upload file; they are lost.";
    std::fprintf(stderr, "Kestrel: %s\n", text.c_str());
    std::fflush(stderr);
    log(L"[main] " + util::widen(text), log_level::error);
}

end_outcome end_in_order(daemon& target, logger& activity_logger, platform::main_queue& queue,
                         std::chrono::milliseconds grace) {
    end_outcome outcome;
    outcome.threads_ended_in_time = stop_daemon_serving_main_queue(target, queue, grace);
    // Old logs not converted yet stay for the next start.
    activity_logger.stop_converting_old_logs();
    // The record open at this moment is work the user did: it goes into the
    // final flush instead of being dropped.
    target.complete_open_record();
    if (!activity_logger.write_last_log_to_disk()) {
        outcome.records_lost = activity_logger.records_only_in_memory();
        if (outcome.records_lost > 0) {
            report_lost_records(outcome.records_lost);
        } else {
            log(L"[main] The records kept in memory are all in the journal; the next start writes them to an "
                L"upload file.",
                log_level::error);
        }
    }
    queue.close();
    log(L"***** Exiting Kestrel *****\n\n", log_level::banner);
    return outcome;
}

}  // namespace kes
