#include "overlay/RegionSelectorView.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QMouseEvent>

namespace backreel::test {

// The opacity of a pixel of the view: the dim's 0.45 where the desktop is dimmed, none where it shows.
static double opacityAt(RegionSelectorView& view, QPoint at) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background
    return qAlpha(image.pixel(at)) / 255.0;
}

static void send(RegionSelectorView& view, QEvent::Type type, QPointF position, Qt::MouseButtons buttons,
                 Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, position, view.mapToGlobal(position), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

// An inactive screen is undimmed; a press activates it and a drag clears the selection out of the
// dim. A small drag is discarded; a larger one's last rectangle is handed over, whatever the release.
TEST(RegionSelectorView, TheSelectionIsClearedOutOfTheDimAndSmallDragsAreDiscarded) {
    RegionSelectorView view;
    view.resize(400, 300);
    EXPECT_EQ(opacityAt(view, QPoint(200, 160)), 0.0);
    view.onActivate = [&] {
        view.setActive(true);
    };
    std::optional<QRectF> selected;
    view.onSelect = [&](const QRectF& rect) {
        selected = rect;
    };
    send(view, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton);
    EXPECT_TRUE(view.isActive() && view.isDrawing());
    EXPECT_NEAR(opacityAt(view, QPoint(200, 160)), 0.45, 0.01); // where the hint was
    send(view, QEvent::MouseMove, QPointF(200, 180), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(view.selectionRect(), QRectF(100, 100, 100, 80));
    EXPECT_EQ(opacityAt(view, QPoint(150, 140)), 0.0);         // inside
    EXPECT_NEAR(opacityAt(view, QPoint(30, 250)), 0.45, 0.01); // outside

    send(view, QEvent::MouseMove, QPointF(110, 110), Qt::LeftButton, Qt::NoButton);
    send(view, QEvent::MouseButtonRelease, QPointF(300, 300), Qt::NoButton);
    EXPECT_FALSE(selected || view.selectionRect() || view.startPoint());
    EXPECT_GT(opacityAt(view, QPoint(200, 160)), 0.45) << "the crosshair";

    send(view, QEvent::MouseButtonPress, QPointF(300, 250), Qt::LeftButton);
    send(view, QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton | Qt::RightButton, Qt::RightButton);
    send(view, QEvent::MouseMove, QPointF(289.5, 239), Qt::LeftButton, Qt::NoButton);
    send(view, QEvent::MouseButtonRelease, QPointF(10, 10), Qt::NoButton);
    EXPECT_EQ(selected, QRectF(289.5, 239, 10.5, 11));
}

} // namespace backreel::test
