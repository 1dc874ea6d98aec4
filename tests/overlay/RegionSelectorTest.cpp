#include "overlay/RegionSelectorView.h"
#include "OverlayTestSupport.h"

namespace backreel::test {

static RegionSelectorView* viewOf(QWidget* panel) {
    return panel->findChild<RegionSelectorView*>(QStringLiteral("regionSelectorView"));
}

using RegionSelectorTest = OverlayDesktopTest<kSelector>;

// The screens lie under the dim; Esc cancels. A drag from the bottom right to the top left selects in
// its screen's pixels, and its press made that screen the active one (scaled by 2 in a second run).
TEST_F(RegionSelectorTest, EscCancelsAndADragSelectsInTheScreensPixels) {
    const QScreen* second = QGuiApplication::screens()[1];
    const double scale = second->devicePixelRatio();
    const auto at = [&](double x, double y) { // in the second screen's points, as root pixels
        return QPointF(second->geometry().topLeft()) + QPointF(x, y) * scale;
    };
    ASSERT_TRUE(paintDesktopBackground());
    const QPoint corner = at(250, 150).toPoint();
    const HelperWindow helper(corner.x(), corner.y(), 500, 400, "Under the selection");
    ASSERT_TRUE(listedWindow(*manager, QStringLiteral("Under the selection")));
    const QColor beneath = screenPixel(at(450, 325)); // the window, in the selection below
    manager->setCaptureTarget(CaptureTarget::region(QRectF(1, 2, 30, 40), test::display(1)));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Old"), QString(), QRectF(1, 2, 3, 4), 9, true});
    const CaptureTarget before = manager->captureTarget();

    QCoro::Task<MaybeError> cancelled = selectRegionTarget(*manager, platform);
    waitForOverlay();
    // The active screen (the primary one, without a focused window) under the dim, the other not.
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(QPointF(100, 100)), kBackground, 0.45) &&
                             screenPixel(at(450, 325)) == beneath);
    ASSERT_TRUE(xdotool({"key", "Escape"}));
    BACKREEL_EVENTUALLY_TRUE(cancelled.isReady() && panels().empty());
    EXPECT_FALSE(QCoro::waitFor(cancelled));
    EXPECT_EQ(manager->captureTarget(), before);

    QCoro::Task<MaybeError> flow = selectRegionTarget(*manager, platform);
    waitForOverlay();
    const std::vector<QWidget*> shown = panels();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(viewOf(shown[0])->isActive()); // the primary screen's, without a focused window
    ASSERT_TRUE(movePointer(at(700, 500)) && xdotool({"mousedown", "1"}) && movePointer(at(400, 300)));
    EXPECT_TRUE(viewOf(shown[1])->isActive() && !viewOf(shown[0])->isActive());
    EXPECT_TRUE(viewOf(shown[1])->selectionRect().has_value());
    BACKREEL_EVENTUALLY_EQ(screenPixel(at(450, 325)), beneath);
    ASSERT_TRUE(movePointer(at(300, 200)) && xdotool({"mouseup", "1"}));
    BACKREEL_EVENTUALLY_TRUE(flow.isReady() && panels().empty());
    EXPECT_FALSE(QCoro::waitFor(flow));
    const CaptureTarget::RegionTarget* region = manager->captureTarget().asRegion();
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->rect, QRectF(300 * scale, 200 * scale, 400 * scale, 300 * scale));
    EXPECT_EQ(region->display.name, QStringLiteral("VIRT-2"));
    EXPECT_FALSE(manager->selectedWindowInfo()); // a region target has no picked window
}

} // namespace backreel::test
