#include "platform/qt/qt_keyboard.h"

#include "platform/main_thread_call.h"

#include <QGuiApplication>

namespace platform {

bool qt_keyboard::shift_held() const {
    return call_on_main_thread(queue_,
                               [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier); })
        .value_or(false);
}

}  // namespace platform
