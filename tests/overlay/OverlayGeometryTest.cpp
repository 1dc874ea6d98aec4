#include "overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

using namespace backreel::overlay;

namespace {

// Two 1920 × 1080 screens as X11 lays them out: the root window's origin is the top-left corner
// of the bounding box, so a screen left of the primary one puts the primary one at x = 1920.
const ScreenPlacement kLeftOfPrimary{QRectF(0, 0, 1920, 1080), 1.0};
const ScreenPlacement kPrimaryRightOfIt{QRectF(1920, 0, 1920, 1080), 1.0};
const ScreenPlacement kBelowPrimary{QRectF(0, 1080, 1920, 1080), 1.0};
// A 3840 × 2160 screen that Qt scales by 2, right of a 1920 × 1080 primary one.
const ScreenPlacement kScaledTwice{QRectF(1920, 0, 1920, 1080), 2.0};
// A 2880 × 1620 screen that Qt scales by 1.5, below a 1920 × 1080 primary one.
const ScreenPlacement kScaledOneAndAHalfBelow{QRectF(0, 1080, 1920, 1080), 1.5};

const QRectF kScreen(0, 0, 1920, 1080);

} // namespace

TEST(OverlayGeometry, WindowServerRectanglesLandInTheViewOfEachScreen) {
    // A window at the top-left corner of the primary screen, with a screen left of it.
    EXPECT_EQ(windowServerRectToView(QRectF(1920, 0, 300, 200), kPrimaryRightOfIt), QRectF(0, 0, 300, 200));
    EXPECT_EQ(windowServerRectToView(QRectF(1920, 0, 300, 200), kLeftOfPrimary), QRectF(1920, 0, 300, 200));
    // A window on a screen below the primary one: y counts from that screen's top edge.
    EXPECT_EQ(windowServerRectToView(QRectF(100, 1180, 300, 200), kBelowPrimary), QRectF(100, 100, 300, 200));
    // A window across two screens lies partly outside each view.
    EXPECT_EQ(windowServerRectToView(QRectF(1820, 50, 200, 100), kLeftOfPrimary), QRectF(1820, 50, 200, 100));
    EXPECT_EQ(windowServerRectToView(QRectF(1820, 50, 200, 100), kPrimaryRightOfIt),
              QRectF(-100, 50, 200, 100));
}

TEST(OverlayGeometry, ScaledScreensShowWindowServerPixelsAsLogicalPoints) {
    // 400 × 200 device pixels, 200 device pixels into the screen: 200 × 100 points, 100 in.
    EXPECT_EQ(windowServerRectToView(QRectF(2120, 200, 400, 200), kScaledTwice), QRectF(100, 100, 200, 100));
    EXPECT_EQ(windowServerRectToView(QRectF(150, 1230, 300, 150), kScaledOneAndAHalfBelow),
              QRectF(100, 100, 200, 100));
    // A scale that is not a number of its own counts as 1.
    EXPECT_EQ(windowServerRectToView(QRectF(10, 10, 20, 20), ScreenPlacement{kScreen, 0.0}),
              QRectF(10, 10, 20, 20));
}

TEST(OverlayGeometry, PointerPositionsReachTheWindowServerThroughTheirScreen) {
    const std::vector<ScreenPlacement> screens{ScreenPlacement{kScreen, 1.0}, kScaledTwice};
    EXPECT_EQ(globalToWindowServer(QPointF(500, 300), screens), QPointF(500, 300));
    // 100 points into the scaled screen are 200 device pixels into it.
    EXPECT_EQ(globalToWindowServer(QPointF(2020, 50), screens), QPointF(2120, 100));
    // Outside every screen the point stays as it is.
    EXPECT_EQ(globalToWindowServer(QPointF(-5, 2000), screens), QPointF(-5, 2000));
    // Below the primary screen, scaled by 1.5.
    const std::vector<ScreenPlacement> stacked{ScreenPlacement{kScreen, 1.0}, kScaledOneAndAHalfBelow};
    EXPECT_EQ(globalToWindowServer(QPointF(100, 1180), stacked), QPointF(150, 1230));
    // And back: the window server's rectangle there is where the pointer was.
    EXPECT_EQ(windowServerRectToView(QRectF(150, 1230, 3, 3), kScaledOneAndAHalfBelow).topLeft(),
              QPointF(100, 100));
}

TEST(OverlayGeometry, ScreensCoverTheirDevicePixelsInTheWindowServerSpace) {
    EXPECT_EQ(kScaledTwice.windowServerRect(), QRectF(1920, 0, 3840, 2160));
    EXPECT_EQ(kBelowPrimary.windowServerRect(), QRectF(0, 1080, 1920, 1080));
}

TEST(OverlayGeometry, ContainmentIncludesTheTopLeftEdgesOnly) {
    const QRectF rect(10, 20, 100, 50);
    EXPECT_TRUE(containsPoint(rect, QPointF(10, 20)));
    EXPECT_TRUE(containsPoint(rect, QPointF(109.9, 69.9)));
    EXPECT_FALSE(containsPoint(rect, QPointF(110, 40)));
    EXPECT_FALSE(containsPoint(rect, QPointF(50, 70)));
    EXPECT_FALSE(containsPoint(QRectF(10, 20, 0, 0), QPointF(10, 20)));
}

TEST(OverlayGeometry, SelectionsReachTheDisplayUnclippedInDevicePixels) {
    // The view's space already starts at the screen's top-left corner: where the screen lies in
    // the global space plays no part.
    EXPECT_EQ(viewRectToDisplay(QRectF(100, 200, 300, 150), 1.0), QRectF(100, 200, 300, 150));
    // Drags beyond the screen's edges stay as they are.
    EXPECT_EQ(viewRectToDisplay(QRectF(-20, 1000, 300, 150), 1.0), QRectF(-20, 1000, 300, 150));
    // On a screen Qt scales, the selection covers twice as many of the display's pixels.
    EXPECT_EQ(viewRectToDisplay(QRectF(100, 50, 200, 100), 2.0), QRectF(200, 100, 400, 200));
    EXPECT_EQ(viewRectToDisplay(QRectF(10, 10, 10.5, 11), 1.5), QRectF(15, 15, 15.75, 16.5));
}

TEST(OverlayGeometry, DragsSpanTheSameRectangleEitherWay) {
    const QRectF forward = dragRect(QPointF(100, 100), QPointF(400, 250));
    EXPECT_EQ(forward, QRectF(100, 100, 300, 150));
    EXPECT_EQ(dragRect(QPointF(400, 250), QPointF(100, 100)), forward);
    EXPECT_EQ(dragRect(QPointF(400, 100), QPointF(100, 250)), forward);
    EXPECT_EQ(dragRect(QPointF(5, 5), QPointF(-15, 2000)), QRectF(-15, 5, 20, 1995));
}

TEST(OverlayGeometry, OnlySelectionsLargerThanTenPointsEachWayCount) {
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 10, 10)));
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 10, 500)));
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 500, 10)));
    EXPECT_TRUE(isLargeEnoughSelection(QRectF(0, 0, 10.5, 11)));
    EXPECT_TRUE(isLargeEnoughSelection(QRectF(0, 0, 10.01, 10.01)));
}

TEST(OverlayGeometry, WindowLabelsGoBelowOrAboveAndStayInsideTheScreen) {
    const QSizeF pill(120, 20);
    // Centred 6 points below the window.
    EXPECT_EQ(labelPillRect(QRectF(400, 300, 200, 100), pill, kScreen, HorizontalFit::keepInside),
              QRectF(440, 406, 120, 20));
    // Just room below: the pill's bottom edge 4 points above the screen's (1080 - 4 - 20 - 6).
    EXPECT_EQ(labelPillRect(QRectF(400, 300, 200, 750), pill, kScreen, HorizontalFit::keepInside).top(),
              1056);
    // Any lower and it goes 6 points above the window.
    EXPECT_EQ(labelPillRect(QRectF(400, 300, 200, 750.5), pill, kScreen, HorizontalFit::keepInside),
              QRectF(440, 274, 120, 20));
    // A window reaching below the screen.
    EXPECT_EQ(labelPillRect(QRectF(400, 900, 200, 400), pill, kScreen, HorizontalFit::keepInside).top(), 874);
    // Near the left and right edges the pill stays 4 points inside the screen.
    EXPECT_EQ(labelPillRect(QRectF(-300, 300, 400, 100), pill, kScreen, HorizontalFit::keepInside).left(), 4);
    EXPECT_EQ(labelPillRect(QRectF(1850, 300, 400, 100), pill, kScreen, HorizontalFit::keepInside).left(),
              1920 - 4 - 120);
    // On a view that is not at the origin the same margins hold.
    const QRectF shifted(100, 50, 800, 600);
    EXPECT_EQ(labelPillRect(QRectF(50, 60, 40, 30), pill, shifted, HorizontalFit::keepInside).left(), 104);
}

TEST(OverlayGeometry, SizeLabelsGoBelowOrAboveButMayLeaveTheScreenSideways) {
    const QSizeF pill(80, 20);
    EXPECT_EQ(labelPillRect(QRectF(400, 300, 200, 100), pill, kScreen, HorizontalFit::free),
              QRectF(460, 406, 80, 20));
    EXPECT_EQ(labelPillRect(QRectF(400, 1000, 200, 60), pill, kScreen, HorizontalFit::free),
              QRectF(460, 974, 80, 20));
    EXPECT_EQ(labelPillRect(QRectF(-100, 300, 120, 100), pill, kScreen, HorizontalFit::free).left(), -80);
    EXPECT_EQ(labelPillRect(QRectF(1900, 300, 120, 100), pill, kScreen, HorizontalFit::free).right(), 2000);
}

TEST(OverlayGeometry, SizeLabelsCutTheSizeToWholePoints) {
    EXPECT_EQ(sizeLabelText(QRectF(0, 0, 1280.9, 720.2)), QStringLiteral("1280 × 720"));
    EXPECT_EQ(sizeLabelText(QRectF(3, 4, 10.5, 11)), QStringLiteral("10 × 11"));
}

TEST(OverlayGeometry, PillsPadTheirTextAndHintsSitWhereTheyBelong) {
    EXPECT_EQ(pillSizeForText(QSizeF(100, 14)), QSizeF(112, 20));
    EXPECT_EQ(textRectInPill(QRectF(10, 20, 112, 20)), QRectF(16, 23, 100, 14));
    // The picker's hint: centred, 24 points below the top edge.
    EXPECT_EQ(pickerHintRect(QSizeF(300, 18), kScreen), QRectF(810, 24, 300, 18));
    // The region hint ends 16 points above the middle; the crosshair crosses 10 points below it.
    EXPECT_EQ(regionHintRect(QSizeF(300, 18), kScreen), QRectF(810, 540 - 16 - 18, 300, 18));
    const auto crosshair = crosshairLines(kScreen);
    EXPECT_EQ(crosshair[0], QLineF(942, 550, 978, 550));
    EXPECT_EQ(crosshair[1], QLineF(960, 532, 960, 568));
    // Corner dots: 8-point squares centred on the corners.
    const auto dots = cornerDotRects(QRectF(100, 100, 50, 20));
    EXPECT_EQ(dots[0], QRectF(96, 96, 8, 8));
    EXPECT_EQ(dots[3], QRectF(146, 116, 8, 8));
}
