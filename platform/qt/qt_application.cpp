#include "platform/qt/qt_application.h"

#include "platform/main_queue.h"
#include "platform/qt/qt_main_loop.h"
#include "platform/linux/toolkit_root_events.h"
#include "platform/linux/x11_display.h"
#include "platform/linux/x11_windows.h"
#include "platform/session_kind.h"

#include <QApplication>

#include <cstdlib>
#include <stdexcept>

namespace platform {

std::string choose_toolkit_platform(const std::string& requested, bool display_reachable, bool wayland_session) {
    if (!requested.empty()) return {};
    if (!display_reachable) return "offscreen";
    // As a native Wayland client the agent could neither place its popover
    // beside the tray nor bring its windows forward: Xwayland lets it.
    return wayland_session ? "xcb" : "";
}

namespace {

std::string requested_platform() {
    const char* named = std::getenv("QT_QPA_PLATFORM");
    return named ? named : "";
}

std::uint32_t server_time_of(const user_info& info) {
    const auto found = info.find(work_area_notice_time);
    return found == info.end() ? 0 : static_cast<std::uint32_t>(std::strtoul(found->second.c_str(), nullptr, 10));
}

}  // namespace

qt_application::qt_application(main_queue& queue, const std::string& program_name) {
    if (!queue.is_main_thread()) throw std::logic_error("the application must be made on the main thread");
    if (QCoreApplication::instance() != nullptr) throw std::logic_error("an application object exists already");

    arguments_.push_back(program_name);
    const std::string requested = requested_platform();
    // Asked only when nothing names a platform: the toolkit's own connection
    // attempt would end the process when no display answers.
    const std::string chosen = choose_toolkit_platform(requested, requested.empty() && x11_display_reachable(),
                                                       current_session_kind() == session_kind::wayland);
    if (!chosen.empty()) {
        // An argument rather than the environment: programs the agent starts
        // (the browser) must not inherit it.
        arguments_.push_back("-platform");
        arguments_.push_back(chosen);
    }
    for (std::string& argument : arguments_) argv_.push_back(argument.data());
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(arguments_.size());

    app_ = std::make_unique<QApplication>(argc_, argv_.data());
    QApplication::setApplicationName("Kestrel");
    QApplication::setQuitOnLastWindowClosed(false);
    loop_ = std::make_unique<qt_main_loop>(queue);
    // A window session that lost the display cannot see the desktop again:
    // the loop ends, and the orderly end follows it.
    display_lost_observation_ = notification_center::default_center().add_observer(
        display_connection_lost_notice, [&queue](const user_info&) { queue.quit(0); });

    if (const auto* x11 = app_->nativeInterface<QNativeInterface::QX11Application>()) {
        root_events_ = std::make_shared<toolkit_root_events>(x11->connection());
        // Announced on the window session's thread; the toolkit's connection
        // is written on this one.
        const std::weak_ptr<toolkit_root_events> relay = root_events_;
        work_area_observation_ = notification_center::default_center().add_observer(
            work_area_notice, [&queue, relay](const user_info& info) {
                queue.async([relay, time = server_time_of(info)] {
                    if (const auto events = relay.lock()) events->work_area_may_have_changed(time);
                });
            });
    }
}

qt_application::~qt_application() {
    display_lost_observation_.reset();
    work_area_observation_.reset();
    root_events_.reset();  // before the connection it writes to closes
    loop_.reset();         // its notifiers belong to the application
    app_.reset();
}

int qt_application::run() { return loop_->run(); }

bool qt_application::has_screen() const {
    const QString name = QGuiApplication::platformName();
    return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

std::string qt_application::platform_name() const { return QGuiApplication::platformName().toStdString(); }

}  // namespace platform
