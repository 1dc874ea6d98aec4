// What the region selector's view draws, rendered off screen: with a compositing manager the view
// is translucent and the selection is cleared out of the dim; without one the screen's picture
// lies beneath the dim and in the selection.

#include "overlay/RegionSelectorView.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
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

void send(RegionSelectorView& view, QEvent::Type type, QPointF position, Qt::MouseButtons buttons,
          Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, position, view.mapToGlobal(position), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

// Whether a pixel shows the desktop (transparent, or in its colour) under a dim of 0.45 or not.
bool showsDesktop(bool translucent, QRgb pixel, bool dimmed) {
    if (translucent) {
        return std::abs(qAlpha(pixel) - (dimmed ? 0.45 * 255 : 0)) < 1.5;
    }
    const double keep = dimmed ? 0.55 : 1.0;
    return std::abs(qRed(pixel) - kDesktop.red() * keep) <= 2 &&
           std::abs(qGreen(pixel) - kDesktop.green() * keep) <= 2 &&
           std::abs(qBlue(pixel) - kDesktop.blue() * keep) <= 2 && qAlpha(pixel) == 255;
}

} // namespace

// A small drag is discarded; the last dragged rectangle of a larger one is handed over, between
// whole pixels too, whatever the release position or another button.
TEST(RegionSelectorView, TheSelectionIsCutOutOfTheDimAndSmallDragsAreDiscarded) {
    QImage desktop(400, 300, QImage::Format_RGB32);
    desktop.fill(kDesktop);
    for (const bool translucent : {true, false}) {
        SCOPED_TRACE(translucent ? "translucent" : "with picture");
        RegionSelectorView view(translucent ? QImage() : desktop);
        view.resize(400, 300);
        // An inactive screen shows what is beneath, undimmed.
        EXPECT_TRUE(showsDesktop(translucent, render(view).pixel(200, 160), false));
        // A press on an inactive view activates it; then only the dim is drawn, no hint.
        view.onActivate = [&] {
            view.setActive(true);
        };
        std::optional<QRectF> selected;
        view.onSelect = [&](const QRectF& rect) {
            selected = rect;
        };
        send(view, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton);
        EXPECT_TRUE(view.isActive() && view.isDrawing());
        EXPECT_TRUE(showsDesktop(translucent, render(view).pixel(200, 160), true)); // where the hint was
        send(view, QEvent::MouseMove, QPointF(200, 180), Qt::LeftButton, Qt::NoButton);
        ASSERT_EQ(view.selectionRect(), QRectF(100, 100, 100, 80));
        const QImage dragging = render(view);
        EXPECT_TRUE(showsDesktop(translucent, dragging.pixel(150, 140), false)); // inside
        EXPECT_TRUE(showsDesktop(translucent, dragging.pixel(30, 250), true));   // outside
        EXPECT_EQ(QColor(dragging.pixel(100, 100)).lightness(), 255) << "the corner dot";

        // Released after a move back to 10 × 10 points: discarded, and the hint is back.
        send(view, QEvent::MouseMove, QPointF(110, 110), Qt::LeftButton, Qt::NoButton);
        send(view, QEvent::MouseButtonRelease, QPointF(300, 300), Qt::NoButton);
        EXPECT_FALSE(selected || view.selectionRect() || view.startPoint());
        EXPECT_GT(qGreen(render(view).pixel(200, 160)), 100) << "the crosshair";

        send(view, QEvent::MouseButtonPress, QPointF(300, 250), Qt::LeftButton);
        send(view, QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton | Qt::RightButton,
             Qt::RightButton);
        send(view, QEvent::MouseMove, QPointF(289.5, 239), Qt::LeftButton, Qt::NoButton);
        send(view, QEvent::MouseButtonRelease, QPointF(10, 10), Qt::NoButton);
        EXPECT_EQ(selected, QRectF(289.5, 239, 10.5, 11));
    }
}

} // namespace backreel::test
