// What the region selector's view draws, with a compositing manager (the view is translucent and
// the selection is cleared out of the dim) and without one (the screen's picture beneath the dim
// and in the selection). Rendered off screen into images.

#include "overlay/RegionSelectorView.h"

#include "support/WidgetTest.h"

#include <gtest/gtest.h>
#include <QMouseEvent>

namespace backreel::test {
namespace {

const QColor kDesktop(200, 100, 50);

QImage render(RegionSelectorView& view) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background
    return image;
}

void send(RegionSelectorView& view, QEvent::Type type, QPointF position, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    QMouseEvent event(type, position, view.mapToGlobal(position), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

bool isDimOf(QRgb pixel, const QColor& beneath) {
    const auto near = [](int value, double expected) {
        return std::abs(value - expected) <= 2;
    };
    return near(qRed(pixel), beneath.red() * 0.55) && near(qGreen(pixel), beneath.green() * 0.55) &&
           near(qBlue(pixel), beneath.blue() * 0.55) && qAlpha(pixel) == 255;
}

struct Views {
    Views()
        : translucent()
        , withPicture(picture()) {
        for (RegionSelectorView* view : {&translucent, &withPicture}) {
            view->resize(400, 300);
        }
    }
    static QImage picture() {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(kDesktop);
        return image;
    }
    RegionSelectorView translucent;
    RegionSelectorView withPicture;
};

} // namespace

TEST(RegionSelectorView, AnInactiveScreenShowsWhatIsBeneath) {
    Views views;
    const QImage clear = render(views.translucent);
    EXPECT_EQ(qAlpha(clear.pixel(10, 10)), 0);
    EXPECT_EQ(qAlpha(clear.pixel(200, 160)), 0);
    const QImage pictured = render(views.withPicture);
    EXPECT_EQ(QColor(pictured.pixel(10, 10)), kDesktop);
    EXPECT_EQ(QColor(pictured.pixel(200, 160)), kDesktop);
}

TEST(RegionSelectorView, TheSelectionIsCutOutOfTheDimAndTheHintComesBackAfterASmallDrag) {
    Views views;
    for (RegionSelectorView* view : {&views.translucent, &views.withPicture}) {
        bool activated = false;
        view->onActivate = [&] {
            activated = true;
            view->setActive(true);
        };
        // A press on an inactive view activates it; then only the dim is drawn (no hint).
        send(*view, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton, Qt::LeftButton);
        EXPECT_TRUE(activated);
        EXPECT_TRUE(view->isDrawing());
        const QImage pressed = render(*view);
        const QRgb crosshair = pressed.pixel(200, 160);

        send(*view, QEvent::MouseMove, QPointF(200, 180), Qt::NoButton, Qt::LeftButton);
        ASSERT_EQ(view->selectionRect(), QRectF(100, 100, 100, 80));
        const QImage dragging = render(*view);
        const QRgb inside = dragging.pixel(150, 140);
        const QRgb outside = dragging.pixel(30, 250);
        const QRgb corner = dragging.pixel(100, 100);
        if (view == &views.translucent) {
            EXPECT_EQ(qAlpha(inside), 0);
            EXPECT_NEAR(qAlpha(outside), 0.45 * 255, 1.5);
            EXPECT_NEAR(qAlpha(crosshair), 0.45 * 255, 1.5);
        } else {
            EXPECT_EQ(QColor(inside), kDesktop);
            EXPECT_TRUE(isDimOf(outside, kDesktop));
            EXPECT_TRUE(isDimOf(crosshair, kDesktop));
        }
        EXPECT_EQ(QColor(corner).lightness(), 255) << "the corner dot";

        // Released after a move back to 10 × 10 points: discarded, and the hint is back.
        bool selected = false;
        view->onSelect = [&](const QRectF&) {
            selected = true;
        };
        send(*view, QEvent::MouseMove, QPointF(110, 110), Qt::NoButton, Qt::LeftButton);
        send(*view, QEvent::MouseButtonRelease, QPointF(300, 300), Qt::LeftButton, Qt::NoButton);
        EXPECT_FALSE(selected);
        EXPECT_FALSE(view->selectionRect());
        EXPECT_FALSE(view->startPoint());
        const QImage idle = render(*view);
        EXPECT_GT(qGreen(idle.pixel(200, 160)), 100) << "the crosshair";
    }
}

TEST(RegionSelectorView, ReleasingALargeEnoughDragHandsTheLastDraggedRectangleOver) {
    RegionSelectorView view;
    view.resize(400, 300);
    view.setActive(true);
    std::optional<QRectF> selected;
    view.onSelect = [&](const QRectF& rect) {
        selected = rect;
    };
    send(view, QEvent::MouseButtonPress, QPointF(300, 250), Qt::LeftButton, Qt::LeftButton);
    // Another button changes nothing.
    send(view, QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    send(view, QEvent::MouseMove, QPointF(289.5, 239), Qt::NoButton, Qt::LeftButton);
    // The release position is not used.
    send(view, QEvent::MouseButtonRelease, QPointF(10, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(selected, QRectF(289.5, 239, 10.5, 11));
}

} // namespace backreel::test
