// The region selector on the virtual desktop (two monitors side by side): real drags through
// xdotool (and fractional ones as mouse events sent to the real windows), the result read from
// the recording manager.

#include "overlay/RegionSelectorView.h"
#include "OverlayTestSupport.h"

#include <gtest/gtest.h>
namespace backreel::test {
namespace {

const QString kPanelName = QStringLiteral("perScreenSelectorPanel");

// A point of a screen's own space (logical points from its top-left corner) in root pixels.
QPointF rootPoint(const QScreen* screen, QPointF local) {
    return QPointF(screen->geometry().topLeft()) + local * screen->devicePixelRatio();
}

RegionSelectorView* viewOf(QWidget* panel) {
    return panel->findChild<RegionSelectorView*>(QStringLiteral("regionSelectorView"));
}

class RegionSelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        if (screenCount() < 2) {
            GTEST_SKIP() << "needs two monitors: run under scripts/virtual-desktop --dual";
        }
        platform = loadPlatform();
        manager = std::make_unique<RecordingManager>(platform, nullptr);
        content = shareableContentNow(*platform.capture);
        ASSERT_TRUE(content);
        ASSERT_EQ(content->displays.size(), 2u);
        ASSERT_TRUE(movePointer(1900, 1060));
    }

    void TearDown() override {
        if (!visiblePanels(kPanelName).empty()) {
            pressKey("Escape");
        }
        QTest::qWait(100);
    }

    std::vector<QWidget*> waitForOverlay() {
        static_cast<void>(
            QTest::qWaitFor([&] { return visiblePanels(kPanelName).size() == screenCount(); }, 5000));
        QTest::qWait(150);
        return visiblePanels(kPanelName);
    }

    const Display& display(const QString& name) const {
        for (const Display& each : content->displays) {
            if (each.name == name) {
                return each;
            }
        }
        return content->displays.front();
    }

    // Runs one selection with a real drag on a screen, from and to points of its own space, and
    // ends it with Esc should the drag not have ended it.
    std::optional<CaptureTarget::RegionTarget> dragOn(int screenIndex, QPointF from, QPointF to) {
        const QScreen* screen = QGuiApplication::screens()[screenIndex];
        RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
        EXPECT_EQ(waitForOverlay().size(), 2u);
        EXPECT_TRUE(drag(rootPoint(screen, from), rootPoint(screen, to)));
        static_cast<void>(QTest::qWaitFor([&] { return flow.isDone(); }, 3000));
        if (!flow.isDone()) {
            ADD_FAILURE() << "the drag did not end the selection";
            pressKey("Escape");
            static_cast<void>(QTest::qWaitFor([&] { return flow.isDone(); }, 3000));
            return std::nullopt;
        }
        EXPECT_FALSE(flow.result());
        const CaptureTarget::RegionTarget* region = manager->captureTarget().asRegion();
        return region != nullptr ? std::optional(*region) : std::nullopt;
    }

    Platform platform;
    std::unique_ptr<RecordingManager> manager;
    std::optional<ShareableContent> content;
};

TEST_F(RegionSelectorTest, DragsOfTenPointsAreDiscardedAndLargerOnesSelect) {
    if (QGuiApplication::primaryScreen()->devicePixelRatio() != 1.0) {
        GTEST_SKIP() << "counts points as pixels";
    }
    manager->setCaptureTarget(CaptureTarget::display(content->displays.front()));
    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    const std::vector<QWidget*> panels = waitForOverlay();
    ASSERT_EQ(panels.size(), 2u);
    RegionSelectorView* view = viewOf(panels[0]);
    ASSERT_TRUE(view->isActive()); // the primary screen's, without a focused window
    EXPECT_FALSE(viewOf(panels[1])->isActive());

    // Exactly 10 points each way, then 10 wide and 200 high: both discarded, the overlay stays.
    ASSERT_TRUE(drag(QPointF(100, 100), QPointF(110, 110)));
    ASSERT_TRUE(drag(QPointF(100, 100), QPointF(110, 300)));
    QTest::qWait(100);
    EXPECT_FALSE(flow.isDone());
    EXPECT_EQ(visiblePanels(kPanelName).size(), 2u);
    EXPECT_FALSE(view->selectionRect());
    EXPECT_FALSE(view->isDrawing()); // the hint is back

    // 10.5 × 11 points.
    sendDrag(view, QPointF(200, 200), QPointF(210.5, 211));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    EXPECT_TRUE(visiblePanels(kPanelName).empty());
    const CaptureTarget::RegionTarget* region = manager->captureTarget().asRegion();
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->rect, QRectF(200, 200, 10.5, 11));
    EXPECT_EQ(region->display, display(QStringLiteral("VIRT-1")));
}

TEST_F(RegionSelectorTest, ADragOnTheSecondScreenIsRelativeToItsTopLeftCorner) {
    const QScreen* second = QGuiApplication::screens()[1];
    // Something to see in the screenshot: the desktop's colour, and a window under the selection.
    ASSERT_TRUE(paintDesktopBackground());
    const QPointF windowPlace = rootPoint(second, QPointF(250, 150));
    PatternWindow helper(static_cast<int>(windowPlace.x()), static_cast<int>(windowPlace.y()), 500, 400,
                         "Under the selection");
    ASSERT_TRUE(helper.listed(*platform.capture));
    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    const std::vector<QWidget*> panels = waitForOverlay();
    ASSERT_EQ(panels.size(), 2u);

    // The press activates the second screen and starts the drag there.
    ASSERT_TRUE(
        movePointer(rootPoint(second, QPointF(300, 200)).x(), rootPoint(second, QPointF(300, 200)).y()));
    ASSERT_TRUE(pressButton());
    ASSERT_TRUE(
        movePointer(rootPoint(second, QPointF(500, 350)).x(), rootPoint(second, QPointF(500, 350)).y()));
    BACKREEL_EVENTUALLY_TRUE(viewOf(panels[1])->selectionRect().has_value());
    EXPECT_TRUE(viewOf(panels[1])->isActive());
    EXPECT_FALSE(viewOf(panels[0])->isActive());
    QTest::qWait(100);
    EXPECT_TRUE(saveDesktopScreenshot(QStringLiteral("region-selector-drag")));
    ASSERT_TRUE(
        movePointer(rootPoint(second, QPointF(700, 500)).x(), rootPoint(second, QPointF(700, 500)).y()));
    ASSERT_TRUE(releaseButton());

    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    const CaptureTarget::RegionTarget* region = manager->captureTarget().asRegion();
    ASSERT_NE(region, nullptr);
    const double scale = second->devicePixelRatio();
    EXPECT_EQ(region->rect, QRectF(300 * scale, 200 * scale, 400 * scale, 300 * scale));
    EXPECT_EQ(region->display, display(QStringLiteral("VIRT-2")));
}

TEST_F(RegionSelectorTest, ADragFromBottomRightToTopLeftEqualsTheReverse) {
    const std::optional<CaptureTarget::RegionTarget> forward =
        dragOn(0, QPointF(400, 300), QPointF(700, 500));
    ASSERT_TRUE(forward);
    const std::optional<CaptureTarget::RegionTarget> backward =
        dragOn(0, QPointF(700, 500), QPointF(400, 300));
    ASSERT_TRUE(backward);
    EXPECT_EQ(backward->rect, forward->rect);
    EXPECT_EQ(backward->display, forward->display);
    EXPECT_EQ(forward->rect.size(), QSizeF(300, 200) * QGuiApplication::primaryScreen()->devicePixelRatio());
}

TEST_F(RegionSelectorTest, EscCancelsWithTheTargetUnchanged) {
    ASSERT_TRUE(paintDesktopBackground());
    PatternWindow first(400, 600, 400, 300, "On the first screen");
    PatternWindow second(2300, 300, 400, 300, "On the second screen");
    ASSERT_TRUE(first.listed(*platform.capture));
    ASSERT_TRUE(second.listed(*platform.capture));
    manager->setCaptureTarget(CaptureTarget::region(QRectF(1, 2, 30, 40), content->displays.back()));
    const CaptureTarget before = manager->captureTarget();
    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    ASSERT_EQ(waitForOverlay().size(), 2u);
    EXPECT_TRUE(saveDesktopScreenshot(QStringLiteral("region-selector")));
    ASSERT_TRUE(pressKey("Escape"));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    EXPECT_TRUE(visiblePanels(kPanelName).empty());
    EXPECT_EQ(manager->captureTarget(), before);
}

// Runs where Qt scales every screen by 2 (QT_SCALE_FACTOR=2, a ctest entry of its own): the drag is counted
// in the screen's points and the selection reaches the display in its pixels.
TEST_F(RegionSelectorTest, ScaledScreensCountPointsAndReportPixels) {
    const QScreen* second = QGuiApplication::screens()[1];
    if (second->devicePixelRatio() != 2.0) {
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    }
    RunningFlow flow(*manager, RunningFlow::Kind::selectRegion);
    ASSERT_EQ(waitForOverlay().size(), 2u);
    const QPointF origin(second->geometry().topLeft());
    // 20 pixels are 10 points: discarded.
    ASSERT_TRUE(drag(origin + QPointF(200, 200), origin + QPointF(220, 220)));
    QTest::qWait(100);
    EXPECT_FALSE(flow.isDone());
    // 22 × 24 pixels are 11 × 12 points: selected, and 22 × 24 pixels of the display. (Qt hands
    // widgets whole points, so an odd number of pixels would be rounded.)
    ASSERT_TRUE(drag(origin + QPointF(200, 200), origin + QPointF(222, 224)));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    const CaptureTarget::RegionTarget* region = manager->captureTarget().asRegion();
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->rect, QRectF(200, 200, 22, 24));
    EXPECT_EQ(region->display, display(QStringLiteral("VIRT-2")));
}

} // namespace
} // namespace backreel::test
