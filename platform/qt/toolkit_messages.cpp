#include "platform/qt/toolkit_messages.h"

#include <QString>
#include <QtGlobal>

#include <utility>

namespace platform {
namespace {

// The toolkit takes a plain function; these last until the process ends.
QtMessageHandler toolkit_handler = nullptr;
std::function<void(const std::string&)>* warning_receiver = nullptr;

void pass_on(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg && warning_receiver != nullptr) {
        (*warning_receiver)(text.toStdString());
    }
    if (toolkit_handler != nullptr) toolkit_handler(type, context, text);
}

}  // namespace

void forward_toolkit_warnings(std::function<void(const std::string& text)> receiver) {
    // Never freed: the toolkit may warn from its own threads while the process ends.
    warning_receiver = new std::function<void(const std::string&)>(std::move(receiver));
    toolkit_handler = qInstallMessageHandler(pass_on);
}

}  // namespace platform
