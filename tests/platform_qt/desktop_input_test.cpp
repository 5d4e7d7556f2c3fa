#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_keyboard.h"
#include "platform/qt/window_front.h"
#include "tests/support_qt/qt_test_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <thread>

namespace platform {
namespace {

class DesktopInput : public testing::QtLoopTest {};

TEST_F(DesktopInput, TheClipboardTakesPlainTextFromAnyThread) {
    qt_clipboard pasteboard(queue);
    pasteboard.set_text("help info ü");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "help info ü");

    std::string read_by_worker;
    std::thread worker([&] {
        pasteboard.set_text("from a worker");
        read_by_worker = pasteboard.text();
        queue.quit(0);
    });
    loop.run();
    worker.join();
    EXPECT_EQ(read_by_worker, "from a worker");
}

TEST_F(DesktopInput, ShiftIsReadFromTheWindowSystemsState) {
    qt_keyboard keys(queue);
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(keys.shift_held());
    QTest::keyPress(window.windowHandle(), Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(keys.shift_held());
    QTest::keyRelease(window.windowHandle(), Qt::Key_Shift, Qt::NoModifier);
    EXPECT_FALSE(keys.shift_held());
}

TEST_F(DesktopInput, WindowsBroughtToTheFrontFloatAboveOthersUnlessAskedNotTo) {
    QWidget window;
    bring_to_front(window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    bring_to_front(window, window_level::normal);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

}  // namespace
}  // namespace platform
