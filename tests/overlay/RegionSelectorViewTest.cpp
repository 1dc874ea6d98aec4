// What the region selector's view draws, with a compositing manager (the view is translucent and
// the selection is cleared out of the dim) and without one (the screen's picture beneath the dim
// and in the selection). Rendered off screen into images.

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

void send(RegionSelectorView& view, QEvent::Type type, QPointF position, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    QMouseEvent event(type, position, view.mapToGlobal(position), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

// What a pixel shows of the desktop: alpha 0 (translucent) or the desktop's colour, each under a dim
// of 0.45 or not.
bool showsDesktop(RegionSelectorView& view, QRgb pixel, bool dimmed) {
    if (view.objectName() == QLatin1String("translucent")) {
        return std::abs(qAlpha(pixel) - (dimmed ? 0.45 * 255 : 0)) < 1.5;
    }
    const double keep = dimmed ? 0.55 : 1.0;
    return std::abs(qRed(pixel) - kDesktop.red() * keep) <= 2 &&
           std::abs(qGreen(pixel) - kDesktop.green() * keep) <= 2 &&
           std::abs(qBlue(pixel) - kDesktop.blue() * keep) <= 2 && qAlpha(pixel) == 255;
}

} // namespace

TEST(RegionSelectorView, TheSelectionIsCutOutOfTheDimAndSmallDragsAreDiscarded) {
    QImage desktop(400, 300, QImage::Format_RGB32);
    desktop.fill(kDesktop);
    RegionSelectorView translucent;
    translucent.setObjectName(QStringLiteral("translucent"));
    RegionSelectorView withPicture(desktop);
    for (RegionSelectorView* view : {&translucent, &withPicture}) {
        SCOPED_TRACE(view == &translucent ? "translucent" : "with picture");
        view->resize(400, 300);
        // An inactive screen shows what is beneath, undimmed.
        EXPECT_TRUE(showsDesktop(*view, render(*view).pixel(10, 10), false));
        EXPECT_TRUE(showsDesktop(*view, render(*view).pixel(200, 160), false));

        // A press on an inactive view activates it; then only the dim is drawn, no hint.
        bool activated = false;
        view->onActivate = [&] {
            activated = true;
            view->setActive(true);
        };
        send(*view, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton, Qt::LeftButton);
        EXPECT_TRUE(activated && view->isDrawing());
        EXPECT_TRUE(showsDesktop(*view, render(*view).pixel(200, 160), true)); // where the hint was
        send(*view, QEvent::MouseMove, QPointF(200, 180), Qt::NoButton, Qt::LeftButton);
        ASSERT_EQ(view->selectionRect(), QRectF(100, 100, 100, 80));
        const QImage dragging = render(*view);
        EXPECT_TRUE(showsDesktop(*view, dragging.pixel(150, 140), false)); // inside
        EXPECT_TRUE(showsDesktop(*view, dragging.pixel(30, 250), true));   // outside
        EXPECT_EQ(QColor(dragging.pixel(100, 100)).lightness(), 255) << "the corner dot";

        // Released after a move back to 10 × 10 points: discarded, and the hint is back.
        bool selected = false;
        view->onSelect = [&](const QRectF&) {
            selected = true;
        };
        send(*view, QEvent::MouseMove, QPointF(110, 110), Qt::NoButton, Qt::LeftButton);
        send(*view, QEvent::MouseButtonRelease, QPointF(300, 300), Qt::LeftButton, Qt::NoButton);
        EXPECT_FALSE(selected || view->selectionRect() || view->startPoint());
        EXPECT_GT(qGreen(render(*view).pixel(200, 160)), 100) << "the crosshair";
    }
}

// The last dragged rectangle, between whole pixels too; neither the release position nor
// another button plays a part.
TEST(RegionSelectorView, ReleasingALargeEnoughDragHandsTheLastDraggedRectangleOver) {
    RegionSelectorView view;
    view.resize(400, 300);
    view.setActive(true);
    std::optional<QRectF> selected;
    view.onSelect = [&](const QRectF& rect) {
        selected = rect;
    };
    send(view, QEvent::MouseButtonPress, QPointF(300, 250), Qt::LeftButton, Qt::LeftButton);
    send(view, QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    send(view, QEvent::MouseMove, QPointF(289.5, 239), Qt::NoButton, Qt::LeftButton);
    send(view, QEvent::MouseButtonRelease, QPointF(10, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(selected, QRectF(289.5, 239, 10.5, 11));
}

} // namespace backreel::test
