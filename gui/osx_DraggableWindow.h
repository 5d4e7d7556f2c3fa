#pragma once
// A borderless window that the user moves by dragging it anywhere, and the
// arithmetic of that drag, which windows with a title bar use too to move by
// their background.

#include <QPoint>
#include <QWidget>

namespace kes {

// Where the pointer went down, as whole-pixel offsets from the window's
// origin: dragging moves the origin to the pointer minus those offsets.
class window_drag {
public:
    void mouseDown(QPoint pointer_on_screen, QPoint window_origin);
    // The origin for the pointer's new place; the old origin while no drag runs.
    QPoint mouseDragged(QPoint pointer_on_screen, QPoint window_origin) const;
    void mouseUp() { dragging_ = false; }
    bool dragging() const { return dragging_; }

private:
    bool dragging_ = false;
    int offset_x_ = 0;
    int offset_y_ = 0;
};

// Moves `window` by drags on whatever part of it lets the press through
// (its background, labels, pictures; not its buttons and fields).
class background_drag final : public QObject {
public:
    explicit background_drag(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    window_drag drag_;
};

class osx_DraggableWindow : public QWidget {
public:
    // Always borderless; `extra` adds to the window's kind (e.g. Qt::Tool).
    explicit osx_DraggableWindow(Qt::WindowFlags extra = {});

    // A borderless window still takes the keyboard when clicked.
    bool canBecomeKeyWindow() const { return true; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    window_drag drag_;
};

}  // namespace kes
