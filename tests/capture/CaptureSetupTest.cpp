#include "capture/CaptureSetup.h"

#include "capture/RecordingDuration.h"
#include "common/RecordingStatus.h"

#include <gtest/gtest.h>

using namespace backreel;

namespace {
Display display(std::uint32_t id, int width, int height) {
    return Display{id, width, height, QRectF(0, 0, width, height), QStringLiteral("VIRT-%1").arg(id)};
}

ShareableContent content() {
    ShareableContent c;
    c.displays = {display(7, 1920, 1080), display(9, 1279, 1023)};
    c.applications = {RunningApplication{QStringLiteral("Terminal"), QStringLiteral("xterm"), 10},
                      RunningApplication{QStringLiteral("Backreel"), kApplicationID, 11},
                      RunningApplication{QStringLiteral("Backreel helper"), kApplicationID, 12}};
    return c;
}
} // namespace

TEST(CaptureSetup, EvenDimensionRoundsThenClearsTheLowBit) {
    EXPECT_EQ(evenDimension(1919.5), 1920);
    EXPECT_EQ(evenDimension(1919.4), 1918);
    EXPECT_EQ(evenDimension(801.5), 802);
    EXPECT_EQ(evenDimension(600.2), 600);
    EXPECT_EQ(evenDimension(3), 2);
    EXPECT_EQ(evenDimension(0.4), 2);
    EXPECT_EQ(evenDimension(1), 2);
    EXPECT_EQ(evenDimension(-5), 2);
}

TEST(CaptureSetup, DisplayTargetWithoutDisplayTakesMainThenFirst) {
    auto resolved = resolveCapture(CaptureTarget::display(), false, content(), 9);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter.displayContent()->display.displayID, 9u);
    EXPECT_EQ(resolved->width, 1279) << "a display is captured at its own size, odd values included";
    EXPECT_EQ(resolved->height, 1023);

    resolved = resolveCapture(CaptureTarget::display(), false, content(), 1234);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter.displayContent()->display.displayID, 7u) << "main display missing: first one";

    EXPECT_FALSE(resolveCapture(CaptureTarget::display(), false, ShareableContent{}, 7));
    // A display target with a display uses it unchanged, even when the content lacks it.
    resolved = resolveCapture(CaptureTarget::display(display(42, 800, 600)), false, ShareableContent{}, 7);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter.displayContent()->display.displayID, 42u);
}

TEST(CaptureSetup, OwnApplicationsAreExcludedUnlessIncluded) {
    auto resolved = resolveCapture(CaptureTarget::display(), false, content(), 7);
    ASSERT_TRUE(resolved);
    const auto& excluded = resolved->filter.displayContent()->excludedApplications;
    ASSERT_EQ(excluded.size(), 2u);
    EXPECT_EQ(excluded[0].processID, 11);
    EXPECT_EQ(excluded[1].processID, 12);
    EXPECT_TRUE(resolved->filter.displayContent()->exceptingWindows.empty());

    resolved = resolveCapture(CaptureTarget::region(QRectF(10, 10, 100, 100), display(7, 1920, 1080)), true,
                              content(), 7);
    EXPECT_TRUE(resolved->filter.displayContent()->excludedApplications.empty());
}

TEST(CaptureSetup, WindowAndRegionSizesAndConfiguration) {
    Window window;
    window.windowID = 5;
    window.frame = QRectF(100, 100, 801.5, 600.2);
    const ContentFilter windowFilter = ContentFilter::window(window);
    auto resolved = resolveCapture(CaptureTarget::window(windowFilter), false, content(), 7);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter, windowFilter);
    EXPECT_EQ(resolved->width, 802);
    EXPECT_EQ(resolved->height, 600);
    VideoSourceSettings settings = videoSourceSettings(*resolved);
    EXPECT_FALSE(settings.sourceRect);
    EXPECT_TRUE(settings.scalesToFit);

    const QRectF rect(5, 5, 1, 1);
    resolved = resolveCapture(CaptureTarget::region(rect, display(9, 1279, 1023)), false, content(), 7);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->width, 2);
    EXPECT_EQ(resolved->height, 2);
    EXPECT_EQ(resolved->filter.displayContent()->display.displayID, 9u);
    settings = videoSourceSettings(*resolved);
    EXPECT_EQ(settings.sourceRect, rect);
    EXPECT_FALSE(settings.scalesToFit);
}

// Where the desktop's dialog chooses, each kind of target asks for its kind and takes the choice:
// a region keeps its rectangle on the chosen display; a choice of nothing leaves the target.
TEST(CaptureSetup, TargetsTakeWhatTheDesktopsDialogChose) {
    Window window;
    window.windowID = 4;
    window.frame = QRectF(0, 0, 640, 480);
    const CaptureTarget windowTarget =
        CaptureTarget::window(ContentFilter::window(Window{}));
    const CaptureTarget regionTarget = CaptureTarget::region(QRectF(10, 20, 300, 200), display(1, 800, 600));
    EXPECT_EQ(contentKindOf(CaptureTarget::display()), ContentKind::display);
    EXPECT_EQ(contentKindOf(windowTarget), ContentKind::window);
    EXPECT_EQ(contentKindOf(regionTarget), ContentKind::region);

    ShareableContent chosen;
    chosen.displays = {display(5, 1280, 720)};
    EXPECT_EQ(targetInChosenContent(CaptureTarget::display(), chosen),
              CaptureTarget::display(display(5, 1280, 720)));
    EXPECT_EQ(targetInChosenContent(regionTarget, chosen),
              CaptureTarget::region(QRectF(10, 20, 300, 200), display(5, 1280, 720)));
    EXPECT_EQ(targetInChosenContent(windowTarget, chosen), windowTarget);
    chosen = ShareableContent{};
    chosen.windows = {window};
    const auto resolved = resolveCapture(targetInChosenContent(windowTarget, chosen), false, chosen, 0);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filter.windowContent()->window.windowID, 4u);
    EXPECT_EQ(resolved->width, 640);
    EXPECT_EQ(targetInChosenContent(CaptureTarget::display(), chosen), CaptureTarget::display());
}

TEST(ValueTypes, RecordingDurationTable) {
    EXPECT_EQ(RecordingDuration::fromWholeSeconds(30), RecordingDuration(RecordingDuration::thirtySeconds));
    EXPECT_FALSE(RecordingDuration::fromWholeSeconds(45));
    EXPECT_FALSE(RecordingDuration::fromWholeSeconds(0));
    const RecordingDuration three = RecordingDuration::threeMinutes;
    EXPECT_EQ(three.label(), QStringLiteral("3 min"));
    EXPECT_EQ(three.seconds(), 180.0);
    EXPECT_EQ(three.bufferCapacity(), 180.75);
    EXPECT_EQ(RecordingDuration(RecordingDuration::tenSeconds).label(), QStringLiteral("10 sec"));
    EXPECT_EQ(RecordingDuration(RecordingDuration::oneMinute).bufferCapacity(), 60.75);
    const auto all = RecordingDuration::allCases();
    EXPECT_EQ(all.front(), RecordingDuration::tenSeconds);
    EXPECT_EQ(all.back(), RecordingDuration::threeMinutes);

    EXPECT_EQ(RecordingStatus::error(QStringLiteral("a")), RecordingStatus::error(QStringLiteral("a")));
    EXPECT_NE(RecordingStatus::error(QStringLiteral("a")), RecordingStatus::error(QStringLiteral("b")));
    EXPECT_NE(RecordingStatus::saved(QUrl(QStringLiteral("file:///a.mp4"))),
              RecordingStatus::saved(QUrl(QStringLiteral("file:///b.mp4"))));
    EXPECT_NE(RecordingStatus::idle(), RecordingStatus::saving());
}
