// The window picker on the virtual desktop (two monitors, a window manager): real pointer and key
// events through xdotool, the result read from the recording manager, the log and the screen.

#include "overlay/WindowPickerRules.h"
#include "OverlayTestSupport.h"
#include "platform/WindowServer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QEvent>

namespace backreel::test {
namespace {

constexpr double kPickerDim = 0.3;
const QString kPanelName = QStringLiteral("windowPickerPanel");

// Counts the paints of the overlay views.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

QPoint spot(const QRectF& frame, double x, double y) {
    return QPointF(frame.x() + frame.width() * x, frame.y() + frame.height() * y).toPoint();
}

class WindowPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        BACKREEL_REQUIRE_DISPLAY();
        if (screenCount() < 2) {
            GTEST_SKIP() << "needs two monitors: run under scripts/virtual-desktop --dual --wm";
        }
        platform = loadPlatform();
        manager = std::make_unique<RecordingManager>(platform, nullptr);
        // The pointer waits in the bottom right corner of the primary screen, away from every window.
        ASSERT_TRUE(movePointer(1900, 1060));
    }

    void TearDown() override {
        // A failed test may leave its overlay up: Esc takes it down before the next one.
        if (!visiblePanels(kPanelName).empty()) {
            pressKey("Escape");
        }
        QTest::qWait(100);
    }

    void waitForOverlay() {
        BACKREEL_EVENTUALLY_EQ(visiblePanels(kPanelName).size(), screenCount());
        QTest::qWait(150); // the first paints
        // Each covers its screen exactly.
        for (const QWidget* panel : visiblePanels(kPanelName)) {
            EXPECT_EQ(panel->geometry(), panel->screen()->geometry());
        }
    }

    Platform platform;
    std::unique_ptr<RecordingManager> manager;
};

TEST_F(WindowPickerTest, HoveringHighlightsAWindowAndAClickPicksIt) {
    PatternWindow helper(300, 200, 400, 300, "Overlay target");
    const std::optional<Window> listed = helper.listed(*platform.capture);
    ASSERT_TRUE(listed);
    const QPoint redSpot = spot(listed->frame, 0.25, 0.25);
    ASSERT_EQ(screenPixel(redSpot), QColor(Qt::red));

    LogCapture log;
    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    waitForOverlay();
    // Nothing hovered yet: the window lies under the dim.
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(redSpot), Qt::red, kPickerDim));

    PaintCounter counter;
    for (QWidget* panel : visiblePanels(kPanelName)) {
        panel->findChild<QWidget*>(QStringLiteral("windowPickerView"))->installEventFilter(&counter);
    }
    ASSERT_TRUE(movePointer(redSpot.x(), redSpot.y()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(redSpot), QColor(Qt::red)); // cut out of the dim
    // Moving within the same window redraws nothing.
    QTest::qWait(150);
    const int paints = counter.paints;
    EXPECT_GT(paints, 0);
    ASSERT_TRUE(movePointer(redSpot.x() + 20, redSpot.y() + 10));
    ASSERT_TRUE(movePointer(redSpot.x() + 5, redSpot.y() + 30));
    QTest::qWait(150);
    EXPECT_EQ(counter.paints, paints);

    ASSERT_TRUE(click());
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    EXPECT_TRUE(visiblePanels(kPanelName).empty());

    const CaptureTarget::WindowTarget* target = manager->captureTarget().asWindow();
    ASSERT_NE(target, nullptr);
    ASSERT_NE(target->filter.windowContent(), nullptr);
    EXPECT_EQ(target->filter.windowContent()->window, *listed);
    ASSERT_TRUE(manager->selectedWindowInfo());
    EXPECT_EQ(manager->selectedWindowInfo()->title, QStringLiteral("Overlay target"));
    EXPECT_EQ(manager->selectedWindowInfo()->windowID, listed->windowID);
    EXPECT_EQ(manager->selectedWindowInfo()->frame, listed->frame);
    EXPECT_TRUE(manager->selectedWindowInfo()->isOnScreen);
    ASSERT_TRUE(listed->owningApplication);
    EXPECT_EQ(manager->selectedWindowInfo()->appName, listed->owningApplication->applicationName);

    const QString picked =
        QStringLiteral("Picked: [%1] 'Overlay target' by '%2' | 400×300")
            .arg(QString::number(listed->windowID), listed->owningApplication->applicationName);
    EXPECT_EQ(log.count(picked), 1);
    const int listStart = log.indexOf(QStringLiteral("=== End window list ==="));
    EXPECT_GE(listStart, 0);
    EXPECT_LT(listStart, log.indexOf(picked));
}

TEST_F(WindowPickerTest, OurOwnWindowInFrontHidesTheWindowBehindIt) {
    PatternWindow helper(300, 200, 400, 300, "Behind our window");
    const std::optional<Window> listed = helper.listed(*platform.capture);
    ASSERT_TRUE(listed);
    const QRectF frame = listed->frame;

    // Our window over the left half of it, in front.
    QWidget own;
    own.setWindowTitle(QStringLiteral("Backreel in front"));
    own.setGeometry(QRectF(frame.x(), frame.y(), frame.width() / 2, frame.height()).toRect());
    own.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&own));
    own.raise();
    own.activateWindow();
    const auto ownNumber = static_cast<std::uint32_t>(own.winId());
    std::optional<WindowServerEntry> ownEntry;
    BACKREEL_EVENTUALLY_TRUE([&] {
        const std::vector<WindowServerEntry> list = platform.windowServer->windowList();
        const auto ours = std::find_if(list.begin(), list.end(),
                                       [&](const auto& e) { return e.windowNumber == ownNumber; });
        const auto theirs = std::find_if(list.begin(), list.end(),
                                         [&](const auto& e) { return e.windowNumber == listed->windowID; });
        ownEntry = ours != list.end() ? std::optional(*ours) : std::nullopt;
        return ours < theirs && theirs != list.end();
    }());
    const QRectF covered = ownEntry->bounds.intersected(frame);
    ASSERT_FALSE(covered.isEmpty()) << "our window does not cover the other one";
    const QPoint hidden = covered.center().toPoint();
    const QPoint visible = spot(frame, 0.875, 0.25); // the green quadrant, right of our window
    ASSERT_FALSE(ownEntry->bounds.contains(visible));
    QTest::qWait(100);
    const QColor ownColour = screenPixel(hidden);

    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    waitForOverlay();
    ASSERT_TRUE(movePointer(hidden.x(), hidden.y()));
    QTest::qWait(200);
    EXPECT_TRUE(isDimmed(screenPixel(hidden), ownColour, kPickerDim)) << "our own window is highlighted";
    // A click there picks nothing, and the overlay stays.
    ASSERT_TRUE(click());
    QTest::qWait(200);
    EXPECT_FALSE(flow.isDone());
    EXPECT_EQ(visiblePanels(kPanelName).size(), screenCount());

    // The part of the other window beside ours is highlighted.
    ASSERT_TRUE(movePointer(visible.x(), visible.y()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(visible), QColor(Qt::green));
    ASSERT_TRUE(pressKey("Escape"));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(manager->selectedWindowInfo());
}

TEST_F(WindowPickerTest, EscOnTheSecondScreenCancelsWithNothingChanged) {
    PatternWindow helper(300, 200, 400, 300, "Never picked");
    const std::optional<Window> listed = helper.listed(*platform.capture);
    ASSERT_TRUE(listed);
    const CaptureTarget before = manager->captureTarget();

    LogCapture log;
    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    waitForOverlay();
    // The window is hovered first, so that Esc has something it could wrongly pick.
    const QPoint redSpot = spot(listed->frame, 0.25, 0.25);
    ASSERT_TRUE(movePointer(redSpot.x(), redSpot.y()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(redSpot), QColor(Qt::red));
    // Entering the second screen gives its panel the keyboard.
    const QRect second = QGuiApplication::screens()[1]->geometry();
    ASSERT_TRUE(movePointer(second.center().x(), second.center().y()));
    const std::vector<QWidget*> panels = visiblePanels(kPanelName);
    ASSERT_EQ(panels.size(), 2u);
    BACKREEL_EVENTUALLY_TRUE(QWidget::keyboardGrabber() != nullptr &&
                             QWidget::keyboardGrabber()->window() == panels[1]);

    ASSERT_TRUE(pressKey("Escape"));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    EXPECT_FALSE(flow.result());
    EXPECT_TRUE(visiblePanels(kPanelName).empty());
    EXPECT_EQ(manager->captureTarget(), before);
    EXPECT_FALSE(manager->selectedWindowInfo());
    EXPECT_EQ(log.countStartingWith(QStringLiteral("Picked:")), 0);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("=== Window picker: ")), 1);
    EXPECT_EQ(screenPixel(redSpot), QColor(Qt::red)); // the overlay is gone from the screen
}

TEST_F(WindowPickerTest, TheOverlayCoversPanelsAndWindowsKeptAboveAndTheHitTestSeesThroughThem) {
    PatternWindow normal(200, 500, 600, 400, "Beneath the panel");
    PatternWindow panel(100, 880, 800, 60, "Panel", PatternWindow::Kind::dock);
    PatternWindow above(650, 600, 300, 150, "Kept above", PatternWindow::Kind::above);
    const std::optional<Window> normalListed = normal.listed(*platform.capture);
    const std::optional<Window> panelListed = panel.listed(*platform.capture);
    const std::optional<Window> aboveListed = above.listed(*platform.capture);
    ASSERT_TRUE(normalListed && panelListed && aboveListed);
    EXPECT_NE(panelListed->windowLayer, 0);
    EXPECT_NE(aboveListed->windowLayer, 0);
    const QRectF beneath = normalListed->frame;
    const QRectF dock = panelListed->frame;
    const QRectF kept = aboveListed->frame;
    ASSERT_FALSE(dock.intersected(beneath).isEmpty()) << "the panel does not lie over the window";
    ASSERT_FALSE(kept.intersected(beneath).isEmpty()) << "the window kept above does not lie over the other";

    const QPoint onPanel = spot(dock, 0.02, 0.5); // left of the normal window
    const QPoint onKept = spot(kept, 0.95, 0.25); // right of the normal window, green
    const QPoint throughPanel = spot(dock.intersected(beneath), 0.3, 0.5);
    const QPoint throughKept = spot(kept.intersected(beneath), 0.5, 0.5);
    const QPoint normalRed = spot(beneath, 0.1, 0.1);
    ASSERT_FALSE(beneath.contains(onPanel));
    ASSERT_FALSE(beneath.contains(onKept));
    ASSERT_EQ(screenPixel(onPanel), QColor(Qt::yellow));
    ASSERT_EQ(screenPixel(onKept), QColor(Qt::green));

    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    waitForOverlay();
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(onPanel), Qt::yellow, kPickerDim));
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(onKept), Qt::green, kPickerDim));
    EXPECT_TRUE(isDimmed(screenPixel(normalRed), Qt::red, kPickerDim));

    // Over the panel and over the window kept above, the normal window beneath is the hit.
    ASSERT_TRUE(movePointer(throughPanel.x(), throughPanel.y()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(normalRed), QColor(Qt::red));
    ASSERT_TRUE(movePointer(onPanel.x(), onPanel.y()));
    BACKREEL_EVENTUALLY_TRUE(isDimmed(screenPixel(normalRed), Qt::red, kPickerDim));
    ASSERT_TRUE(movePointer(throughKept.x(), throughKept.y()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(normalRed), QColor(Qt::red));
    ASSERT_TRUE(click());
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
    ASSERT_TRUE(manager->selectedWindowInfo());
    EXPECT_EQ(manager->selectedWindowInfo()->title, QStringLiteral("Beneath the panel"));
}

TEST_F(WindowPickerTest, ScreenshotOfAWindowAcrossBothScreens) {
    ASSERT_TRUE(paintDesktopBackground());
    PatternWindow across(1700, 300, 500, 360, "Across both screens");
    PatternWindow second(2500, 150, 420, 280, "Second screen");
    const std::optional<Window> listed = across.listed(*platform.capture);
    ASSERT_TRUE(listed);
    ASSERT_TRUE(second.listed(*platform.capture));

    RunningFlow flow(*manager, RunningFlow::Kind::pickWindow);
    waitForOverlay();
    const QPoint inside = spot(listed->frame, 0.75, 0.75);
    ASSERT_TRUE(movePointer(inside.x(), inside.y()));
    BACKREEL_EVENTUALLY_EQ(screenPixel(inside), QColor(Qt::white));
    QTest::qWait(100);
    EXPECT_TRUE(saveDesktopScreenshot(QStringLiteral("window-picker")));
    ASSERT_TRUE(pressKey("Escape"));
    BACKREEL_EVENTUALLY_TRUE(flow.isDone());
}

} // namespace
} // namespace backreel::test
