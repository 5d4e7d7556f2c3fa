#pragma once
// Where the setup popover goes. Beside the status item: below it when the
// screen has room there, else above it, else to its side; always wholly
// inside the available area (the screen less its panels) of the screen that
// holds the item. A tray that tells no item geometry (a StatusNotifierItem
// host) leaves the corner of the screen at its panel, or the pointer's place
// where no panel takes room.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

namespace kes {

struct screen_area {
    QRect geometry;   // the whole screen
    QRect available;  // without the panels docked at its edges
};

// The popover's top left corner for a popover of `size`. `screens` lists
// every screen (the first is the primary one); `pointer` is where the
// pointer is now. With no screen at all the item's place, or (0, 0), is
// given back as it is.
QPoint popover_origin(const QRect& item, const QSize& size, const std::vector<screen_area>& screens,
                      const QPoint& pointer);

}  // namespace kes
