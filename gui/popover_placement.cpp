#include "gui/popover_placement.h"

#include <algorithm>
#include <cstdint>

namespace kes {
namespace {

constexpr int item_gap = 2;       // between the item and the popover
constexpr int corner_margin = 8;  // from the panel and the screen's side

// The screen that holds `point`, else the one nearest to it.
const screen_area& screen_for(const QPoint& point, const std::vector<screen_area>& screens) {
    const screen_area* nearest = &screens.front();
    std::int64_t best = -1;
    for (const screen_area& screen : screens) {
        if (screen.geometry.contains(point)) return screen;
        const QRect& g = screen.geometry;
        const std::int64_t dx = std::max({g.left() - point.x(), 0, point.x() - g.right()});
        const std::int64_t dy = std::max({g.top() - point.y(), 0, point.y() - g.bottom()});
        const std::int64_t distance = dx * dx + dy * dy;
        if (best < 0 || distance < best) {
            best = distance;
            nearest = &screen;
        }
    }
    return *nearest;
}

QRect usable(const screen_area& screen) { return screen.available.isEmpty() ? screen.geometry : screen.available; }

// Moves `origin` so that a popover of `size` lies inside `area`; a popover
// larger than the area keeps its top left corner inside.
QPoint clamped(QPoint origin, const QSize& size, const QRect& area) {
    origin.setX(std::clamp(origin.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    origin.setY(std::clamp(origin.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return origin;
}

QPoint beside_item(const QRect& item, const QSize& size, const QRect& area) {
    const int centred_x = item.center().x() - size.width() / 2;
    const int below = item.bottom() + 1 + item_gap;
    if (below + size.height() <= area.bottom() + 1) return clamped({centred_x, below}, size, area);
    const int above = item.top() - item_gap - size.height();
    if (above >= area.top()) return clamped({centred_x, above}, size, area);
    const int centred_y = item.center().y() - size.height() / 2;
    const int right = item.right() + 1 + item_gap;
    if (right + size.width() <= area.right() + 1) return clamped({right, centred_y}, size, area);
    return clamped({item.left() - item_gap - size.width(), centred_y}, size, area);
}

// The corner at the panel's end where trays sit; the pointer where the
// screen shows no panel.
QPoint at_panel_or_pointer(const QSize& size, const screen_area& screen, const QPoint& pointer) {
    const QRect& whole = screen.geometry;
    const QRect area = usable(screen);
    const int top = area.top() - whole.top();
    const int bottom = whole.bottom() - area.bottom();
    const int left = area.left() - whole.left();
    const int right = whole.right() - area.right();
    const int widest = std::max({top, bottom, left, right});
    const int east = area.right() + 1 - corner_margin - size.width();
    if (widest <= 0) return clamped({pointer.x() - size.width() / 2, pointer.y() + 16}, size, area);
    if (widest == top) return clamped({east, area.top() + corner_margin}, size, area);
    if (widest == bottom) return clamped({east, area.bottom() + 1 - corner_margin - size.height()}, size, area);
    if (widest == left) return clamped({area.left() + corner_margin, area.top() + corner_margin}, size, area);
    return clamped({east, area.top() + corner_margin}, size, area);
}

}  // namespace

QPoint popover_origin(const QRect& item, const QSize& size, const std::vector<screen_area>& screens,
                      const QPoint& pointer) {
    const bool item_known = item.isValid() && !item.isEmpty();
    if (screens.empty()) return item_known ? item.bottomLeft() : QPoint();
    if (item_known) return beside_item(item, size, usable(screen_for(item.center(), screens)));
    return at_panel_or_pointer(size, screen_for(pointer, screens), pointer);
}

}  // namespace kes
