#include "overlay/WindowPickerRules.h"
#include "OverlayTestSupport.h"

namespace backreel::test {

constexpr double kDim = 0.3;

using WindowPickerTest = OverlayDesktopTest<kPicker>;

// A hovered window is cut out of the dim on both screens it lies across; the pointer's screen takes
// the keys, where Esc ends the pick. A click picks the hovered window.
TEST_F(WindowPickerTest, EscCancelsAndAClickPicksTheHoveredWindow) {
    ASSERT_TRUE(paintDesktopBackground());
    const HelperWindow across(1700, 300, 500, 360, "Across both screens");
    const std::optional<Window> listed = listedWindow(*manager, QStringLiteral("Across both screens"));
    ASSERT_TRUE(listed);
    const QPointF red = spot(listed->frame, 0.25, 0.25);   // on the first screen
    const QPointF white = spot(listed->frame, 0.75, 0.75); // on the second
    const CaptureTarget before = manager->captureTarget();

    QCoro::Task<MaybeError> cancelled = pickWindowTarget(*manager, platform, Logger::windowPicker());
    waitForOverlay();
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(red), Qt::red, kDim));
    ASSERT_TRUE(movePointer(white));
    BACKREEL_EVENTUALLY_TRUE(screenPixel(white) == QColor(Qt::white) && screenPixel(red) == QColor(Qt::red));
    BACKREEL_EVENTUALLY_TRUE(QWidget::keyboardGrabber() != nullptr &&
                             QWidget::keyboardGrabber()->window() == panels().at(1));
    ASSERT_TRUE(xdotool({"key", "Return"})); // other keys do nothing
    EXPECT_FALSE(cancelled.isReady());
    ASSERT_TRUE(xdotool({"key", "Escape"}));
    BACKREEL_EVENTUALLY_TRUE(cancelled.isReady());
    EXPECT_FALSE(QCoro::waitFor(cancelled));
    EXPECT_TRUE(panels().empty());
    EXPECT_EQ(manager->captureTarget(), before);
    EXPECT_FALSE(manager->selectedWindowInfo());

    QCoro::Task<MaybeError> picked = pickWindowTarget(*manager, platform, Logger::windowPicker());
    waitForOverlay();
    ASSERT_TRUE(movePointer(red));
    BACKREEL_EVENTUALLY_EQ(screenPixel(red), QColor(Qt::red));
    ASSERT_TRUE(xdotool({"click", "1"}));
    BACKREEL_EVENTUALLY_TRUE(picked.isReady());
    EXPECT_FALSE(QCoro::waitFor(picked));
    EXPECT_TRUE(panels().empty());
    const CaptureTarget::WindowTarget* target = manager->captureTarget().asWindow();
    ASSERT_TRUE(target != nullptr && target->filter.windowContent() != nullptr);
    EXPECT_EQ(target->filter.windowContent()->window, *listed);
    EXPECT_EQ(manager->selectedWindowInfo(), overlay::pickInfo(*listed));
}

TEST_F(WindowPickerTest, TheOverlayCoversPanelsAndWindowsKeptAbove) {
    const HelperWindow normal(200, 500, 600, 400, "Beneath the panel");
    const HelperWindow panel(100, 880, 800, 60, "Panel", "dock");
    const HelperWindow above(650, 600, 300, 150, "Kept above", "above");
    const std::optional<Window> beneath = listedWindow(*manager, QStringLiteral("Beneath the panel"));
    const std::optional<Window> dock = listedWindow(*manager, QStringLiteral("Panel"));
    const std::optional<Window> kept = listedWindow(*manager, QStringLiteral("Kept above"));
    ASSERT_TRUE(beneath && dock && kept);
    EXPECT_TRUE(dock->windowLayer != 0 && kept->windowLayer != 0);
    const QPointF onPanel = spot(dock->frame, 0.02, 0.5); // left of the normal window
    const QPointF onKept = spot(kept->frame, 0.95, 0.25); // right of the normal window, green
    const QPointF red = spot(beneath->frame, 0.1, 0.1);
    ASSERT_TRUE(!beneath->frame.contains(onPanel) && !beneath->frame.contains(onKept));
    ASSERT_TRUE(screenPixel(onPanel) == QColor(Qt::yellow) && screenPixel(onKept) == QColor(Qt::green));

    QCoro::Task<MaybeError> flow = pickWindowTarget(*manager, platform, Logger::windowPicker());
    waitForOverlay();
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(onPanel), Qt::yellow, kDim) &&
                             isDimmed(screenPixel(onKept), Qt::green, kDim) &&
                             isDimmed(screenPixel(red), Qt::red, kDim));
    ASSERT_TRUE(movePointer(spot(dock->frame.intersected(beneath->frame), 0.3, 0.5)));
    BACKREEL_EVENTUALLY_EQ(screenPixel(red), QColor(Qt::red));
    ASSERT_TRUE(movePointer(onPanel));
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(red), Qt::red, kDim));
    ASSERT_TRUE(movePointer(kept->frame.intersected(beneath->frame).center()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(red), QColor(Qt::red));
    ASSERT_TRUE(xdotool({"click", "1"}));
    BACKREEL_EVENTUALLY_TRUE(flow.isReady());
    ASSERT_TRUE(manager->selectedWindowInfo());
    EXPECT_EQ(manager->selectedWindowInfo()->title, QStringLiteral("Beneath the panel"));
}

} // namespace backreel::test
