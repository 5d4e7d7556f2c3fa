// Where the setup popover goes on screens with panels at any edge, with and
// without the item's place, on one screen and on two.
#include "gui/popover_placement.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

const QSize popover(302, 111);
const QRect whole(0, 0, 1280, 800);

::testing::AssertionResult wholly_inside(const QPoint& origin, const QSize& size, const QRect& area) {
    const QRect placed(origin, size);
    if (area.contains(placed)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "popover at (" << placed.x() << "," << placed.y() << " " << placed.width()
                                         << "x" << placed.height() << ") leaves (" << area.x() << "," << area.y()
                                         << " " << area.width() << "x" << area.height() << ")";
}

TEST(PopoverPlacement, BelowTheItemAtATopPanelAndAboveItAtABottomPanelWhollyOnTheScreen) {
    const screen_area top_panel{whole, QRect(0, 32, 1280, 768)};
    const QRect top_item(1240, 5, 22, 22);
    const QPoint below = popover_origin(top_item, popover, {top_panel}, {});
    EXPECT_GT(below.y(), top_item.bottom());  // under the item, and clear of the panel
    EXPECT_EQ(below.y(), 32);
    EXPECT_TRUE(wholly_inside(below, popover, top_panel.available));

    // The item lies in the panel, outside the available area.
    const screen_area bottom_panel{whole, QRect(0, 0, 1280, 768)};
    for (const QRect item : {QRect(1240, 773, 22, 22), QRect(4, 773, 22, 22), QRect(640, 773, 22, 22)}) {
        const QPoint above = popover_origin(item, popover, {bottom_panel}, {});
        EXPECT_LT(above.y() + popover.height(), item.top()) << item.x();
        EXPECT_TRUE(wholly_inside(above, popover, bottom_panel.available)) << item.x();
    }
    // Without a work area the screen's own edge is the limit.
    const QPoint bare = popover_origin(QRect(1258, 778, 22, 22), popover, {{whole, QRect()}}, {});
    EXPECT_TRUE(wholly_inside(bare, popover, whole));
    EXPECT_LT(bare.y(), 778);
}

TEST(PopoverPlacement, BesideTheItemWhenNeitherBelowNorAboveHasRoom) {
    const screen_area low{QRect(0, 0, 1280, 300), QRect(0, 0, 1240, 300)};  // a panel at the right edge
    const QSize tall(302, 200);
    const QRect item(1250, 140, 22, 22);
    const QPoint left_of = popover_origin(item, tall, {low}, {});
    EXPECT_LT(left_of.x() + tall.width(), item.left());
    EXPECT_TRUE(wholly_inside(left_of, tall, low.available));

    const screen_area left_panel{QRect(0, 0, 1280, 300), QRect(40, 0, 1240, 300)};
    const QPoint right_of = popover_origin(QRect(8, 140, 22, 22), tall, {left_panel}, {});
    EXPECT_EQ(right_of.x(), 40);
    EXPECT_TRUE(wholly_inside(right_of, tall, left_panel.available));
}

TEST(PopoverPlacement, TheScreenThatHoldsTheItemIsTheOneUsed) {
    const screen_area first{whole, QRect(0, 32, 1280, 768)};
    const screen_area second{QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1040)};
    const QRect item(3150, 1050, 22, 22);  // the bottom right of the second screen
    const QPoint placed = popover_origin(item, popover, {first, second}, {});
    EXPECT_TRUE(wholly_inside(placed, popover, second.available));
    // An item just beyond every screen takes the nearest one.
    EXPECT_TRUE(wholly_inside(popover_origin(QRect(3300, 500, 22, 22), popover, {first, second}, {}), popover,
                              second.available));
}

TEST(PopoverPlacement, WithoutTheItemsPlaceTheCornerAtThePanelOrThePointer) {
    const screen_area top_panel{whole, QRect(0, 32, 1280, 768)};
    const QPoint at_top = popover_origin({}, popover, {top_panel}, {10, 10});
    EXPECT_EQ(at_top, QPoint(1280 - 8 - popover.width(), 32 + 8));

    const screen_area bottom_panel{whole, QRect(0, 0, 1280, 764)};
    const QPoint at_bottom = popover_origin({}, popover, {bottom_panel}, {10, 10});
    EXPECT_EQ(at_bottom, QPoint(1280 - 8 - popover.width(), 764 - 8 - popover.height()));

    const screen_area left_panel{whole, QRect(48, 0, 1232, 800)};
    EXPECT_EQ(popover_origin({}, popover, {left_panel}, {600, 600}), QPoint(48 + 8, 8));

    // No panel takes room: near the pointer, even in the screen's corner.
    const screen_area bare{whole, whole};
    const QPoint near_pointer = popover_origin({}, popover, {bare}, {640, 300});
    EXPECT_EQ(near_pointer, QPoint(640 - popover.width() / 2, 316));
    EXPECT_TRUE(wholly_inside(popover_origin({}, popover, {bare}, {1279, 799}), popover, whole));
}

TEST(PopoverPlacement, APopoverLargerThanTheScreenKeepsItsTopLeftCornerOnIt) {
    const screen_area small{QRect(0, 0, 200, 100), QRect(0, 0, 200, 100)};
    EXPECT_EQ(popover_origin(QRect(150, 80, 22, 22), popover, {small}, {}), QPoint(0, 0));
    EXPECT_EQ(popover_origin({}, popover, {}, {}), QPoint(0, 0));
}

}  // namespace
}  // namespace kes
