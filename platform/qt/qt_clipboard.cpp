#include "platform/qt/qt_clipboard.h"

#include "platform/main_thread_call.h"

#include <QClipboard>
#include <QGuiApplication>

namespace platform {

void qt_clipboard::set_text(const std::string& utf8_text) {
    post_to_main_thread(queue_, [utf8_text] { QGuiApplication::clipboard()->setText(QString::fromStdString(utf8_text)); });
}

std::string qt_clipboard::text() const {
    return call_on_main_thread(queue_, [] { return QGuiApplication::clipboard()->text().toStdString(); })
        .value_or(std::string());
}

}  // namespace platform
