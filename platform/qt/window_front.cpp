#include "platform/qt/window_front.h"

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

}  // namespace platform
