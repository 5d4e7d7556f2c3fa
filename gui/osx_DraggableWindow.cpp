#include "gui/osx_DraggableWindow.h"

#include <QEvent>
#include <QMouseEvent>

namespace kes {

void window_drag::mouseDown(QPoint pointer_on_screen, QPoint window_origin) {
    dragging_ = true;
    offset_x_ = pointer_on_screen.x() - window_origin.x();
    offset_y_ = pointer_on_screen.y() - window_origin.y();
}

QPoint window_drag::mouseDragged(QPoint pointer_on_screen, QPoint window_origin) const {
    if (!dragging_) return window_origin;
    return {pointer_on_screen.x() - offset_x_, pointer_on_screen.y() - offset_y_};
}

background_drag::background_drag(QWidget& window) : QObject(&window), window_(window) {
    window_.installEventFilter(this);
}

bool background_drag::eventFilter(QObject* watched, QEvent* event) {
    // Presses that no control took bubble up to the window itself.
    if (watched != &window_) return QObject::eventFilter(watched, event);
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) {
        return QObject::eventFilter(watched, event);
    }
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        drag_.mouseDown(mouse->globalPosition().toPoint(), window_.pos());
    } else if (type == QEvent::MouseMove && drag_.dragging() && (mouse->buttons() & Qt::LeftButton)) {
        window_.move(drag_.mouseDragged(mouse->globalPosition().toPoint(), window_.pos()));
    } else if (type == QEvent::MouseButtonRelease) {
        drag_.mouseUp();
    }
    return QObject::eventFilter(watched, event);
}

osx_DraggableWindow::osx_DraggableWindow(Qt::WindowFlags extra)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | extra) {}

void osx_DraggableWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) drag_.mouseDown(event->globalPosition().toPoint(), pos());
    QWidget::mousePressEvent(event);
}

void osx_DraggableWindow::mouseMoveEvent(QMouseEvent* event) {
    if (drag_.dragging() && (event->buttons() & Qt::LeftButton)) move(drag_.mouseDragged(event->globalPosition().toPoint(), pos()));
    QWidget::mouseMoveEvent(event);
}

void osx_DraggableWindow::mouseReleaseEvent(QMouseEvent* event) {
    drag_.mouseUp();
    QWidget::mouseReleaseEvent(event);
}

}  // namespace kes
