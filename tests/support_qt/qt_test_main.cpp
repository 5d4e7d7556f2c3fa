// The toolkit tests share one application object, on Qt's offscreen platform
// (also when the test list is read outside CTest, which sets it too), in the
// same private home as every other test program. The thread that runs the
// tests draws their windows: a service request made on it fails the request.
#include "app/desktop_factories.h"
#include "core/service/ui_thread_rule.h"
#include "tests/support/test_environment.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

QtMessageHandler toolkit_handler = nullptr;

// The offscreen platform says for every window that it cannot raise it or
// pass size hints on; the tests' own output stays readable without that.
void quiet_offscreen_notes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support"))) return;
    toolkit_handler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
    kes::install_desktop_factories();
    toolkit_handler = qInstallMessageHandler(quiet_offscreen_notes);
    kes::testing::enter_private_home();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    kes::network::set_ui_thread_rule([drawing = std::this_thread::get_id()] { return std::this_thread::get_id() == drawing; },
                                     kes::network::ui_thread_policy::refuse);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    kes::testing::remove_private_home();
    return result;
}
