#include "overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

using namespace backreel::overlay;

const QRectF kScreen(0, 0, 1920, 1080);

// A selection is one only when larger than ten points each way; it reaches the display in its
// device pixels, also at scales the desktop tests do not use, and is labelled in whole points.
TEST(OverlayGeometry, SelectionsInDevicePixelsAndTheirLabel) {
    EXPECT_TRUE(isLargeEnoughSelection(QRectF(0, 0, 10.5, 11)));
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 10, 200)) || isLargeEnoughSelection(QRectF(0, 0, 200, 10)));
    EXPECT_EQ(viewRectToDisplay(QRectF(10, 10, 10.5, 11), 1.5), QRectF(15, 15, 15.75, 16.5));
    EXPECT_EQ(sizeLabelText(QRectF(0, 0, 1280.9, 720.2)), QStringLiteral("1280 × 720"));
}

// Labels go below the rectangle, or above it where there is no room below; window labels stay
// inside the screen sideways, size labels may leave it.
// Over a still picture of a display the selection is in the display's own units, each way by its
// own factor and inside the display; the picture goes on the screen under the display's middle.
TEST(OverlayGeometry, SelectionsOverAStillPictureAndItsScreen) {
    EXPECT_EQ(viewRectOnPicture(QRectF(480, 300, 480, 480), QSizeF(1920, 1080), QSizeF(1280, 720)),
              QRectF(320, 200, 320, 320));
    EXPECT_EQ(viewRectOnPicture(QRectF(100, 100, 2000, 50), QSizeF(1000, 500), QSizeF(2000, 2000)),
              QRectF(200, 400, 1800, 200));
    EXPECT_TRUE(viewRectOnPicture(QRectF(1, 1, 5, 5), QSizeF(), QSizeF(10, 10)).isEmpty());

    const std::vector<QRectF> screens{kScreen, QRectF(1920, 0, 1280, 1024)};
    EXPECT_EQ(screenShowing(screens, QRectF(1920, 0, 1600, 1200)), 1u); // in pixels, not points
    EXPECT_EQ(screenShowing(screens, QRectF(0, 0, 1280, 720)), 0u);
    EXPECT_EQ(screenShowing(screens, QRectF(4000, 0, 100, 100)), std::nullopt);
}

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
