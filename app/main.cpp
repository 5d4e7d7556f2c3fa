// Kestrel: brings the agent up in a fixed order on the main thread, refuses to
// run as a second copy, hands the main thread to the desktop's loop, and ends
// every way out (menu quit, SIGTERM, SIGINT, SIGHUP) through one orderly end.

#include "core/capture/logger.h"
#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/log_rate_limit.h"
#include "core/foundation/self_tests.h"
#include "core/foundation/system.h"
#include "core/foundation/text.h"
#include "core/foundation/time_util.h"
#include "core/service/service_activation.h"
#include "core/service/ui_thread_rule.h"
#include "core/ui/ui.h"
#include "app/desktop_factories.h"
#include "app/orderly_end.h"
#include "app/osx_daemon.h"
#include "app/osx_ui.h"
#include "app/unexpected_exit_guard.h"
#include "platform/instance_lock.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "platform/termination_signals.h"

#ifdef KES_WITH_DESKTOP_UI
#include "gui/desktop_ui.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/toolkit_messages.h"
#endif

#include <sys/resource.h>

#include <memory>
#include <system_error>

namespace {

void log_line(const std::wstring& text, std::uint32_t level) { kes::log(text, level); }

// The desktop the user sees: the toolkit's application with the status item;
// with no display it draws offscreen. A build without it runs headless.
void provide_desktop(platform::main_queue& queue) {
#ifdef KES_WITH_DESKTOP_UI
    platform::qt_desktop_options options;
    options.log_unshown_notification = [](const std::string& title, const std::string& text) {
        log_line(L"[osx_ui:show_user_notification] " + kes::util::utf8_to_wstring_lossy(title) + L": " +
                     kes::util::utf8_to_wstring_lossy(text),
                 kes::log_level::ui_info);
    };
    // The toolkit says why before it ends the process on its own.
    platform::forward_toolkit_warnings(&kes::unexpected_exit_guard::note_toolkit_warning);
    kes::osx_ui::provide_services(kes::make_desktop_ui_services(platform::make_qt_desktop(queue, options), queue));
#else
    (void)queue;
#endif
}

// The desktop's usual soft limit of 1,024 descriptors is far below what this
// user may open: records, upload files and connections draw on one pool.
void raise_descriptor_limit() {
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) != 0 || descriptors.rlim_cur >= descriptors.rlim_max) return;
    descriptors.rlim_cur = descriptors.rlim_max;
    (void)::setrlimit(RLIMIT_NOFILE, &descriptors);
}

}  // namespace

int main() {
    // Before anything logs: the debug log asks the platform system for its path.
    kes::install_desktop_factories();
    raise_descriptor_limit();
    auto& queue = platform::main_queue::instance();
    queue.bind_to_current_thread();
    // The main thread draws the interface: a service request made on it is a
    // fault, and the debug log says which.
    kes::network::set_ui_thread_rule([&queue] { return queue.is_main_thread(); },
                                     kes::network::ui_thread_policy::report);
    // Blocked before any thread exists, so every thread inherits the mask and
    // the signals arrive only through the main loop.
    platform::termination_signals signals;

    kes::tests::run_tests();
    log_line(L"***** Attempting to start Kestrel *****", kes::log_level::banner);

    auto platform_system = kes::system::create();
    if (platform_system->is_other_instance_running()) {
        log_line(L"Kestrel is already running, exiting.", kes::log_level::error);
        return 1;
    }

    log_line(L"***** Starting Kestrel *****", kes::log_level::banner);
    log_line(L"Temp Path: " + kes::util::widen(platform_system->get_temp_dir()), kes::log_level::info);
    log_line(L"Config Path: " + kes::util::utf8_to_wstring_lossy(platform_system->get_data_dir()),
             kes::log_level::info);

    provide_desktop(queue);
    kes::ui* user_interface = kes::ui::get_instance();
    log_line(L"  Gui Started", kes::log_level::info);
    queue.watch_fd(signals.fd(), [&] {
        if (signals.take() != 0) user_interface->quit();
    });

    // A copy started while this one runs tells it so, then ends; this copy
    // answers on the main loop by opening its status menu.
    // Any program of this user can send the datagram, as often as it likes:
    // the lines pass a rate limit, and notifications that came together open
    // the menu once.
    const std::shared_ptr<platform::instance_lock> instance = platform::process_instance_lock();
    const auto instance_lines = std::make_shared<kes::log_rate_limit>();
    if (instance->notification_fd() >= 0) {
        queue.watch_fd(instance->notification_fd(), [instance, instance_lines] {
            const int count = instance->take_notifications();
            for (int i = 0; i < count; ++i) {
                instance_lines->log(L"[main] Received com.kestrel.Kestrel.openingKestrelInstance",
                                   L"Kestrel was started again", kes::log_level::banner);
            }
            if (count > 0) {
                platform::notification_center::default_center().post(platform::opening_instance_notification);
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
        const kes::unexpected_exit_guard exit_guard(*agent_daemon, activity_logger);
        agent_daemon->start(user_interface);
        exit_code = user_interface->run_gui();
        log_line(L"  Gui Stopped\n\n", kes::log_level::banner);
    } catch (const std::system_error& e) {
        log_line(L"[main] Could not start the worker threads: " + kes::util::widen(e.what()),
                 kes::log_level::error);
    }

    if (kes::end_in_order(*agent_daemon, activity_logger, queue).records_lost > 0) {
        exit_code = kes::records_lost_exit_code;
    }
    // The queue is closed, so a waiting second-factor prompt has returned, and
    // the daemon's stop aborts the sign-in's and focus sessions' requests:
    // these joins are short. No request thread may outlive main.
    user_interface->finish_requests();
    agent_daemon.reset();
    if (auto* desktop_ui = dynamic_cast<kes::osx_ui*>(user_interface)) desktop_ui->end_desktop();
    return exit_code;
}
