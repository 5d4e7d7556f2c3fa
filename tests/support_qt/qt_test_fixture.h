#pragma once
// A main queue served by the toolkit's loop, bound to the test's thread, and
// a watchdog that ends every running loop should a test wait for ever.

#include "platform/main_queue.h"
#include "platform/qt/qt_main_loop.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace platform::testing {

class QtLoopTest : public ::testing::Test {
protected:
    QtLoopTest() {
        queue.bind_to_current_thread();
        watchdog_.setSingleShot(true);
        QObject::connect(&watchdog_, &QTimer::timeout, [] {
            ADD_FAILURE() << "the test did not end its loop";
            QCoreApplication::exit(99);
        });
        watchdog_.start(60'000);
    }

    main_queue queue;
    qt_main_loop loop{queue};

private:
    QTimer watchdog_;
};

}  // namespace platform::testing
