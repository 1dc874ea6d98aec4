#include "platform/x11/X11ScreenPictureService.h"

#include "X11TestSupport.h"

#include <QColor>

namespace backreel::test {
namespace {

using X11ScreenPictures = X11Test;

QColor pixelOf(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

TEST_F(X11ScreenPictures, aPictureShowsWhatTheScreenShowsAndBlackBeyondIt) {
    auto window = ownWindow(windowAt(200, 150, 400, 300));
    X11ScreenPictureService pictures;
    QImage picture;
    ASSERT_TRUE(waitUntil([&] {
        picture = pictures.picture(QRect(200, 150, 400, 300));
        return !picture.isNull() && pixelOf(picture, 100, 75) == QColor(Qt::red);
    }));
    EXPECT_EQ(picture.size(), QSize(400, 300));
    EXPECT_EQ(pixelOf(picture, 300, 75), QColor(Qt::green));
    EXPECT_EQ(pixelOf(picture, 100, 225), QColor(Qt::blue));
    EXPECT_EQ(pixelOf(picture, 399, 299), QColor(Qt::white));

    // Across the right edge of the root window: the part beyond it is black.
    const int right = display_.screen()->width_in_pixels;
    auto edge = ownWindow(windowAt(right - 20, 0, 20, 20, kYellow));
    ASSERT_TRUE(waitUntil([&] {
        picture = pictures.picture(QRect(right - 10, 0, 20, 10));
        return !picture.isNull() && pixelOf(picture, 0, 0) == QColor(Qt::yellow);
    }));
    EXPECT_EQ(picture.size(), QSize(20, 10));
    EXPECT_EQ(pixelOf(picture, 9, 9), QColor(Qt::yellow));
    EXPECT_EQ(pixelOf(picture, 10, 0), QColor(Qt::black));
    EXPECT_TRUE(pictures.picture(QRect(right + 5, 0, 20, 10)).isNull());
    EXPECT_TRUE(pictures.picture(QRect()).isNull());
}

TEST_F(X11ScreenPictures, aCompositingManagerIsTheOwnerOfItsSelection) {
    X11ScreenPictureService pictures;
    EXPECT_FALSE(pictures.hasCompositingManager()); // the virtual desktop runs none
    TestWindowOptions unmapped = windowAt(0, 0, 1, 1);
    unmapped.map = false;
    auto owner = ownWindow(unmapped);
    // Stand in for a compositing manager: own _NET_WM_CM_S0 with a window.
    xcb_set_selection_owner(connection(), owner->id(), internAtom(connection(), "_NET_WM_CM_S0"),
                            XCB_CURRENT_TIME);
    sync(connection());
    EXPECT_TRUE(pictures.hasCompositingManager());
    // The selection goes with its window.
    owner.reset();
    EXPECT_TRUE(waitUntil([&] { return !pictures.hasCompositingManager(); }));
}

} // namespace
} // namespace backreel::test
