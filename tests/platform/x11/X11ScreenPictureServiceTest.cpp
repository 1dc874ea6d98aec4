#include "platform/x11/X11ScreenPictureService.h"

#include "X11TestSupport.h"

#include <QColor>

namespace backreel::test {
namespace {

using X11ScreenPictures = X11Test;

TEST_F(X11ScreenPictures, aPictureShowsWhatTheScreenShowsAndBlackBeyondIt) {
    auto window = ownWindow({200, 150, 400, 300});
    const int right = screenOf(connection())->width_in_pixels;
    auto edge = ownWindow({right - 20, 0, 20, 20, kYellow});
    X11ScreenPictureService pictures;
    QImage picture;
    const auto pixel = [&](int x, int y) {
        return QColor(picture.pixel(x, y));
    };
    ASSERT_TRUE(waitUntil([&] {
        picture = pictures.picture(QRect(200, 150, 400, 300));
        return !picture.isNull() && pixel(100, 75) == QColor(Qt::red);
    }));
    EXPECT_EQ(picture.size(), QSize(400, 300));
    EXPECT_EQ(pixel(300, 75), QColor(Qt::green));
    EXPECT_EQ(pixel(100, 225), QColor(Qt::blue));
    EXPECT_EQ(pixel(399, 299), QColor(Qt::white));

    // Across the right edge of the root window: the part beyond it is black.
    picture = pictures.picture(QRect(right - 10, 0, 20, 10));
    ASSERT_EQ(picture.size(), QSize(20, 10));
    EXPECT_EQ(pixel(9, 9), QColor(Qt::yellow));
    EXPECT_EQ(pixel(10, 0), QColor(Qt::black));
    EXPECT_TRUE(pictures.picture(QRect(right + 5, 0, 20, 10)).isNull());
    EXPECT_TRUE(pictures.picture(QRect()).isNull());
}

TEST_F(X11ScreenPictures, aCompositingManagerIsTheOwnerOfItsSelection) {
    X11ScreenPictureService pictures;
    EXPECT_FALSE(pictures.hasCompositingManager()); // the virtual desktop runs none
    auto owner = ownWindow({.width = 1, .height = 1, .map = false});
    xcb_set_selection_owner(connection(), owner->id(), internAtom(connection(), "_NET_WM_CM_S0"),
                            XCB_CURRENT_TIME);
    sync(connection());
    EXPECT_TRUE(pictures.hasCompositingManager());
    owner.reset(); // the selection goes with its window
    EXPECT_TRUE(waitUntil([&] { return !pictures.hasCompositingManager(); }));
}

} // namespace
} // namespace backreel::test
