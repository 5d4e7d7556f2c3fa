#include "osx/ui/osx_PreferencesWindow.h"

#include "core/foundation/debug_log.h"
#include "platform/main_queue.h"
#include "platform/qt/window_front.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace kes {

osx_PreferencesWindow::osx_PreferencesWindow(platform::main_queue& queue)
    : queue_(queue), self_(std::make_shared<osx_PreferencesWindow*>(this)) {}

osx_PreferencesWindow::~osx_PreferencesWindow() = default;

QWidget& osx_PreferencesWindow::window() {
    if (!window_) {
        window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
        window_->setObjectName(QString::fromLatin1(layout_name));
        window_->setWindowTitle(QStringLiteral("Kestrel Preferences"));
        statusLabel = new QLabel(window_.get());
        statusLabel->setObjectName(QStringLiteral("statusLabel"));
        statusLabel->setWordWrap(true);
        statusLabel->setMinimumWidth(360);
        statusLabel->setText(QString::fromStdWString(status_text()));
        auto* column = new QVBoxLayout(window_.get());
        column->addWidget(statusLabel);
    }
    return *window_;
}

void osx_PreferencesWindow::showPreferencesWindow() {
    log(L"[KestrelController] showPropertiesWindow:", log_level::ui);
    platform::bring_to_front(window(), platform::window_level::floating);
    log(L"[KestrelController] done showPropertiesWindow:", log_level::ui);
}

void osx_PreferencesWindow::setStatusMessage(const std::wstring& text, int) {
    log(L"[KestrelController]  setStatusMessage", log_level::ui);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_text_ = text;
    }
    std::weak_ptr<osx_PreferencesWindow*> self = self_;
    const auto show = [self, text] {
        if (const auto alive = self.lock(); alive && (*alive)->statusLabel) {
            (*alive)->statusLabel->setText(QString::fromStdWString(text));
        }
    };
    if (queue_.is_main_thread()) {
        show();
    } else {
        queue_.async(show);
    }
    log(L"[KestrelController] done setStatusMessage", log_level::ui);
}

void osx_PreferencesWindow::updateWithPostActivateState() { setStatusMessage(L"Kestrel has been activated.", 0); }

void osx_PreferencesWindow::orderOut() {
    if (window_) window_->hide();
}

std::wstring osx_PreferencesWindow::status_text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_text_;
}

}  // namespace kes
