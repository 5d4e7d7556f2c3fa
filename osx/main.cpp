// Kestrel: brings the agent up in a fixed order on the main thread, refuses to
// run as a second copy, hands the main thread to the UI loop, and ends every
// way out (menu quit, SIGTERM, SIGINT, SIGHUP) through one orderly end.

#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/self_tests.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"
#include "core/service/service_activation.h"
#include "core/ui/ui.h"
#include "osx/orderly_end.h"
#include "osx/osx_daemon.h"
#include "platform/instance_lock.h"
#include "platform/main_queue.h"
#include "platform/termination_signals.h"

#include <memory>
#include <system_error>

namespace {

void log_line(const std::wstring& text, std::uint32_t level) { kes::log(text, level); }

}  // namespace

int main() {
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    // Blocked before any thread exists, so every thread inherits the mask and
    // the signals arrive only through the main loop.
    platform::termination_signals signals;

    kes::tests::run_tests();
    log_line(L"***** Attempting to start Kestrel *****", 5);

    auto platform_system = kes::system::create();
    if (platform_system->is_other_instance_running()) {
        log_line(L"Kestrel is already running, exiting.", kes::log_level::error);
        return 1;
    }

    log_line(L"***** Starting Kestrel *****", 5);
    log_line(L"Temp Path: " + kes::util::widen(platform_system->get_temp_dir()), kes::log_level::info);
    log_line(L"Config Path: " + kes::util::utf8_to_wstring_lossy(platform_system->get_data_dir()),
             kes::log_level::info);

    kes::ui* user_interface = kes::ui::get_instance();
    log_line(L"  Gui Started", kes::log_level::info);
    queue.watch_fd(signals.fd(), [&] {
        if (signals.take() != 0) user_interface->quit();
    });

    // A copy started while this one runs tells it so, then ends; this copy
    // answers on the main loop (the status menu opens there once it exists).
    const std::shared_ptr<platform::instance_lock> instance = platform::process_instance_lock();
    if (instance->notification_fd() >= 0) {
        queue.watch_fd(instance->notification_fd(), [instance] {
            for (int count = instance->take_notifications(); count > 0; --count) {
                log_line(L"[main] Received com.kestrel.Kestrel.openingKestrelInstance: Kestrel was started again",
                         5);
            }
        });
    }

    // The store activates the account through the web-service client.
    kes::config::instance().set_activation_service(kes::make_service_activation());

    auto agent_daemon = std::make_unique<kes::osx_daemon>();
    kes::config::instance().set_running_since(kes::util::local_now_seconds());
    kes::logger& activity_logger = kes::logger::get_instance();

    int exit_code = 1;
    try {
        agent_daemon->start(user_interface);
        exit_code = user_interface->run_gui();
        log_line(L"  Gui Stopped\n\n", 5);
    } catch (const std::system_error& e) {
        log_line(L"[main] Could not start the worker threads: " + kes::util::widen(e.what()),
                 kes::log_level::error);
    }

    kes::stop_daemon_serving_main_queue(*agent_daemon, queue);
    // Old logs not converted yet stay for the next start.
    activity_logger.stop_converting_old_logs();
    // The record open at this moment is work the user did: it goes into the
    // final flush instead of being dropped.
    agent_daemon->complete_open_record();
    activity_logger.write_current_log_to_disk();
    log_line(L"***** Exiting Kestrel *****\n\n", 5);
    agent_daemon.reset();
    return exit_code;
}
