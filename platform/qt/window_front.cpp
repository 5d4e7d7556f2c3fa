#include "platform/qt/window_front.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

namespace platform {

void bring_to_front(QWidget& window, window_level level) {
    const bool floating = level == window_level::floating;
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) != floating) {
        // Changing the flags hides a shown window; show() below maps it again.
        window.setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    }
    window.show();
    window.raise();
    window.activateWindow();
}

void present(QWidget& window, window_level level) {
    if (!window.property("kes_placed").toBool()) {
        window.adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            window.move(screen->availableGeometry().center() - window.rect().center());
        }
        window.setProperty("kes_placed", true);
    }
    bring_to_front(window, level);
}

}  // namespace platform
