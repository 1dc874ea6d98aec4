#include "overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

using namespace backreel::overlay;

// The window server's rectangles and pointer positions on each screen, scaled or not, are checked on
// the virtual desktop by the overlay tests.

const QRectF kScreen(0, 0, 1920, 1080);

// A drag spans the same rectangle either way, counts only when larger than 10 points each way,
// and reaches the display unclipped, in its device pixels.
TEST(OverlayGeometry, DragsBecomeSelectionsInDevicePixels) {
    EXPECT_EQ(dragRect(QPointF(400, 100), QPointF(100, 250)), QRectF(100, 100, 300, 150));
    EXPECT_EQ(dragRect(QPointF(5, 5), QPointF(-15, 2000)), QRectF(-15, 5, 20, 1995));
    for (const QRectF& small : {QRectF(0, 0, 10, 10), QRectF(0, 0, 10, 500), QRectF(0, 0, 500, 10)}) {
        EXPECT_FALSE(isLargeEnoughSelection(small));
    }
    EXPECT_TRUE(isLargeEnoughSelection(QRectF(0, 0, 10.01, 10.01)));
    EXPECT_EQ(viewRectToDisplay(QRectF(-20, 1000, 300, 150), 1.0), QRectF(-20, 1000, 300, 150));
    EXPECT_EQ(viewRectToDisplay(QRectF(10, 10, 10.5, 11), 1.5), QRectF(15, 15, 15.75, 16.5));
    EXPECT_EQ(sizeLabelText(QRectF(0, 0, 1280.9, 720.2)), QStringLiteral("1280 × 720"));
}

// Labels go below the rectangle, or above it where there is no room below; window labels stay
// inside the screen sideways, size labels may leave it.
TEST(OverlayGeometry, LabelsGoBelowOrAboveAndWindowLabelsStayOnScreen) {
    const auto place = [&](QRectF target, HorizontalFit fit = HorizontalFit::keepInside) {
        return labelPillRect(target, QSizeF(120, 20), kScreen, fit);
    };
    EXPECT_GT(place(QRectF(400, 300, 200, 100)).top(), 400);
    EXPECT_EQ(place(QRectF(400, 300, 200, 100)).center().x(), 500);
    EXPECT_LT(place(QRectF(400, 300, 200, 770)).bottom(), 300);
    EXPECT_LT(place(QRectF(400, 900, 200, 400)).bottom(), 900);
    for (const QRectF target : {QRectF(-300, 300, 400, 100), QRectF(1850, 300, 400, 100)}) {
        EXPECT_TRUE(kScreen.contains(place(target)));
        EXPECT_FALSE(kScreen.contains(place(target, HorizontalFit::free)));
    }
}
