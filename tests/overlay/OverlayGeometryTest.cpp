#include "overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

using namespace backreel::overlay;

namespace {
// X11 puts the root window's origin at the top-left corner of the screens' bounding box, so a screen
// left of the primary one puts the primary one at x = 1920. A 3840 × 2160 screen Qt scales by 2
// keeps its top-left corner and counts 1920 × 1080 points.
const QRectF kScreen(0, 0, 1920, 1080);
const ScreenPlacement kPrimaryRightOfIt{QRectF(1920, 0, 1920, 1080), 1.0};
const ScreenPlacement kScaledTwice{QRectF(1920, 0, 1920, 1080), 2.0};
const ScreenPlacement kScaledOneAndAHalfBelow{QRectF(0, 1080, 1920, 1080), 1.5};
} // namespace

TEST(OverlayGeometry, WindowServerRectanglesAndPointsThroughEachScreen) {
    // A window across two screens lies partly outside each view.
    EXPECT_EQ(windowServerRectToView(QRectF(1820, 50, 200, 100), ScreenPlacement{kScreen, 1.0}),
              QRectF(1820, 50, 200, 100));
    EXPECT_EQ(windowServerRectToView(QRectF(1820, 50, 200, 100), kPrimaryRightOfIt),
              QRectF(-100, 50, 200, 100));
    // Scaled screens show device pixels as logical points; a scale that is no number counts as 1.
    EXPECT_EQ(windowServerRectToView(QRectF(2120, 200, 400, 200), kScaledTwice), QRectF(100, 100, 200, 100));
    EXPECT_EQ(windowServerRectToView(QRectF(150, 1230, 300, 150), kScaledOneAndAHalfBelow),
              QRectF(100, 100, 200, 100));
    EXPECT_EQ(windowServerRectToView(QRectF(10, 10, 20, 20), ScreenPlacement{kScreen, 0.0}),
              QRectF(10, 10, 20, 20));
    EXPECT_EQ(kScaledTwice.windowServerRect(), QRectF(1920, 0, 3840, 2160));

    const std::vector<ScreenPlacement> screens{ScreenPlacement{kScreen, 1.0}, kScaledTwice,
                                               kScaledOneAndAHalfBelow};
    EXPECT_EQ(globalToWindowServer(QPointF(500, 300), screens), QPointF(500, 300));
    EXPECT_EQ(globalToWindowServer(QPointF(2020, 50), screens), QPointF(2120, 100));
    EXPECT_EQ(globalToWindowServer(QPointF(100, 1180), screens), QPointF(150, 1230));
    EXPECT_EQ(globalToWindowServer(QPointF(-5, 2500), screens), QPointF(-5, 2500)); // outside every screen
    // Hit tests include the top and left edges only.
    const QRectF rect(10, 20, 100, 50);
    EXPECT_TRUE(containsPoint(rect, QPointF(10, 20)) && containsPoint(rect, QPointF(109.9, 69.9)));
    EXPECT_FALSE(containsPoint(rect, QPointF(110, 40)) || containsPoint(rect, QPointF(50, 70)) ||
                 containsPoint(QRectF(10, 20, 0, 0), QPointF(10, 20)));
}

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
