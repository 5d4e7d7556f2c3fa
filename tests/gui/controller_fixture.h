#pragma once
// The application controller in a test, offscreen: the real bridge and
// windows over fake desktop services, the main queue served by the toolkit's
// loop, a copy of the built bundle's resources and Info.plist (so toggles
// write the copy), an idle time the test sets, a permission to read other
// windows the test gives or takes, and a web service in memory for focus
// sessions.

#include "core/foundation/config.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/system.h"
#include "core/service/puller.h"
#include "app/osx_ui.h"
#include "gui/KestrelController.h"
#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_desktop.h"
#include "platform/notification_center.h"
#include "tests/service/puller_fake_service.h"
#include "tests/support/test_environment.h"
#include "tests/support_qt/qt_test_fixture.h"
#include "tests/ui/debug_log_lines.h"
#include "tests/ui/ui_fixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace kes::testing {

// Runs the toolkit's loop that the fixture's queue is served by.
class loop_application : public platform::application {
public:
    explicit loop_application(platform::qt_main_loop& loop) : loop_(loop) {}
    int run() override { return loop_.run(); }
    bool has_screen() const override { return false; }

private:
    platform::qt_main_loop& loop_;
};

class ControllerTest : public platform::testing::QtLoopTest {
protected:
    ControllerTest() {
        config& settings = config::instance();
        settings.set_defaults();
        settings.set_activation_service(nullptr);
        settings.set_debug_log_level(0xFFFF);
        settings.set_account_key(L"");
        settings.set_gui_loaded(false);
        log_offset_ = debug_log_read().size();
        make_bundle_copy();
    }

    ~ControllerTest() override {
        controller_ = nullptr;
        bridge_.reset();
        config::instance().set_debug_log_level(1);
        config::instance().set_clock({});
        std::filesystem::remove_all(bundle_);
    }

    // A bundle of the test's own with the built one's resources.
    void make_bundle_copy() {
        namespace fs = std::filesystem;
        static int made = 0;
        bundle_ = private_home() + "/Copy" + std::to_string(++made) + ".app";
        const std::string built = KES_TEST_BUNDLE_DIR;
        fs::create_directories(bundle_ + "/Contents");
        fs::copy(built + "/Contents/Resources", bundle_ + "/Contents/Resources", fs::copy_options::recursive);
        fs::copy_file(built + "/Contents/Info.plist", bundle_ + "/Contents/Info.plist");
    }
    std::string resources() const { return bundle_ + "/Contents/Resources"; }

    osx_ui_services services() {
        osx_ui_services with;
        with.desktop = fakes_.services();
        with.desktop.app = std::make_shared<loop_application>(loop);
        with.queue = &queue;
        with.notifications = &centre_;
        with.pause = [](std::chrono::milliseconds) {};
        return with;
    }

    virtual ui::seams bridge_seams() {
        ui::seams with;
        with.platform_system = idle_;
        with.wait_for_stop = [](std::chrono::milliseconds) { return false; };
        with.service_client = service_client_;
        return with;
    }

    controller_seams seams() {
        controller_seams with;
        with.resource_dir = resources();
        with.accessibility_trusted = [permission = permission_] { return permission->is_process_trusted(); };
        with.launch_arguments = arguments_;
        with.launch_arguments_given = true;
        with.send_debug_log = send_debug_log_;
        with.session = session_;
        with.install_launcher = [this] {
            ++launcher_installs_;
            return true;
        };
        return with;
    }

    // The bridge and its controller as a launch makes them, up to the loop.
    KestrelController& launch() {
        bridge_ = std::make_unique<osx_ui>(services(), bridge_seams());
        bridge_->init();
        bridge_->set_puller_factory([this] {
            return std::make_unique<puller>(service_, system::create(), [this]() -> ui* { return bridge_.get(); });
        });
        auto made = std::make_shared<KestrelController>(*bridge_, seams());
        controller_ = made.get();
        bridge_->set_delegate(made);
        controller_->awakeFromNib();
        controller_->applicationDidFinishLaunching();
        return *controller_;
    }

    // The controls of a window the test has opened; a window not built (or
    // released after closing) fails the test.
    template <class Layout>
    static Layout& built(Layout* window) {
        if (!window) throw std::runtime_error("the window is not built");
        return *window;
    }
    offline_time_panel& offline() { return built(controller_->offlineTimePanel()); }
    focus_panel& focus() { return built(controller_->focusPanel()); }
    troubleshooting_window& ts() { return built(controller_->troubleshootingWindow()); }
    help_window& help() { return built(controller_->helpWindow()); }
    // Whether a window is open; a released one is not.
    static bool is_open(const QWidget* window) { return window && window->isVisible(); }
    bool offline_open() const { return is_open(window_of(controller_->offlineTimePanel(), &offline_time_panel::afkEntryPanel)); }
    bool focus_open() const { return is_open(window_of(controller_->focusPanel(), &focus_panel::blockingPanel)); }
    bool ts_open() const { return is_open(window_of(controller_->troubleshootingWindow(), &troubleshooting_window::ts_window)); }
    bool help_open() const { return is_open(window_of(controller_->helpWindow(), &help_window::helpWindow)); }
    template <class Layout>
    static const QWidget* window_of(const Layout* layout, std::unique_ptr<QWidget> Layout::*window) {
        return layout ? (layout->*window).get() : nullptr;
    }

    // Runs what the main queue holds now (tasks handed over by other threads).
    void serve() { queue.run_pending(); }

    // Runs the toolkit's loop until `done` holds or the time is up.
    bool run_loop_until(const std::function<bool()>& done, int limit_ms = 10'000) {
        QElapsedTimer clock;
        clock.start();
        while (true) {
            if (done()) return true;
            if (clock.elapsed() >= limit_ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            queue.run_pending();
        }
    }

    std::vector<std::wstring> logged() const { return messages_since(log_offset_); }
    bool was_logged(const std::wstring& line) const {
        const auto lines = logged();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    platform::fake_desktop fakes_{queue};
    platform::notification_center centre_;
    std::shared_ptr<settable_idle_system> idle_ = std::make_shared<settable_idle_system>();
    std::shared_ptr<fake_sync_service> service_ = std::make_shared<fake_sync_service>();
    std::shared_ptr<platform::fake_accessibility> permission_ = std::make_shared<platform::fake_accessibility>(true);
    std::function<bool()> send_debug_log_ = [] { return true; };
    platform::session_kind session_ = platform::session_kind::x11;
    int launcher_installs_ = 0;
    std::vector<std::string> arguments_{"Kestrel"};
    std::string bundle_;
    std::size_t log_offset_ = 0;
    Kestrel::Network::API* service_client_ = nullptr;  // the process-wide client unless set
    std::unique_ptr<osx_ui> bridge_;
    KestrelController* controller_ = nullptr;  // owned by the bridge
};

}  // namespace kes::testing
