// The screen cast against the real xdg-desktop-portal and the test backend's nodes (--portal).

#include "core/Settings.h"
#include "overlay/TargetSelection.h"
#include "platform/portal/PortalRules.h"
#include "PortalTestSupport.h"

namespace backreel::test {
namespace {

class PortalCaptureTest : public PortalTest {
protected:
    // The display the dialog chooses, captured whole; null when either failed.
    std::unique_ptr<PortalVideoSource> startDisplay(std::int32_t width, std::int32_t height) {
        const Expected<ShareableContent, CaptureError> chosen = choose(ContentKind::display);
        EXPECT_TRUE(chosen) << chosen.error().message.toStdString();
        return chosen ? start(ContentFilter::display(chosen.value().displays.front(), {}, {}), width, height)
                      : nullptr;
    }
};

TEST_F(PortalCaptureTest, aDisplayIsCapturedAsTheDialogChoseItAndChosenAgainWithoutTheDialog) {
    const unsigned dialogsBefore = portal_.dialogsShown();
    auto stream = startDisplay(1280, 720);
    ASSERT_TRUE(stream);
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 1);
    for (int bar = 0; bar < 7; ++bar) {
        EXPECT_TRUE(waitForColour(barCentre(bar, 1280), 100, kBars[bar]))
            << "bar " << bar << " shows " << std::hex << collector_->colourAt(barCentre(bar, 1280), 100);
    }
    stream.reset();

    // The restore token chooses without asking; one the desktop refuses shows the dialog.
    const Expected<ShareableContent, CaptureError> again = choose(ContentKind::display);
    ASSERT_TRUE(again && again.value().displays.size() == 1);
    EXPECT_TRUE(again.value().displays.front().width == 1280 && again.value().displays.front().height == 720);
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 1);
    portal_.setRefuseRestore(true);
    EXPECT_TRUE(choose(ContentKind::display));
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 2);
}

TEST_F(PortalCaptureTest, aWindowHasItsNodesSizeAndARegionIsCutFromItsDisplay) {
    const Expected<ShareableContent, CaptureError> window = choose(ContentKind::window);
    ASSERT_TRUE(window) << window.error().message.toStdString();
    ASSERT_TRUE(window.value().windows.size() == 1 && window.value().displays.empty());
    const Window chosenWindow = window.value().windows.front();
    EXPECT_EQ(chosenWindow.frame.size(), QSizeF(640, 480));
    auto windowStream = start(ContentFilter::window(chosenWindow), 640, 480);
    ASSERT_TRUE(windowStream && waitForColour(320, 240, 0x00FF00));
    windowStream->stop();

    // The yellow and cyan bars' meeting point, 40 points each way around it.
    const Expected<ShareableContent, CaptureError> region = choose(ContentKind::region);
    ASSERT_TRUE(region) << region.error().message.toStdString();
    const double edge = 2 * 1280 / 7.0;
    auto regionStream = start(ContentFilter::display(region.value().displays.front(), {}, {}), 80, 80,
                              QRectF(edge - 40, 300, 80, 80));
    ASSERT_TRUE(regionStream && waitForColour(10, 10, kBars[1]));
    EXPECT_TRUE(waitForColour(70, 70, kBars[2]));
}

TEST_F(PortalCaptureTest, aCancelledDialogAndAShareTheDesktopEndsAreToldApart) {
    portal_.setRefuseRestore(true); // so that the dialog shows
    portal_.setNextAnswer(QStringLiteral("cancel"));
    const Expected<ShareableContent, CaptureError> cancelled = choose(ContentKind::display);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error().kind, CaptureError::Kind::cancelled);

    auto stream = startDisplay(1280, 720);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->pictures() > 0; }));
    EXPECT_TRUE(ends_.empty());
    portal_.endSessions(); // the user clicked "stop sharing"
    expectEnd(CaptureError::ended(QStringLiteral("The desktop stopped the screen sharing.")));
}

TEST_F(PortalCaptureTest, aNodeThatVanishesEndsTheCapture) {
    portal_.choose(QStringLiteral("monitor"), kVanishingNode);
    portal_.setRefuseRestore(true); // the dialog chooses, not a token of another test
    auto stream = startDisplay(640, 360);
    ASSERT_TRUE(stream);
    EXPECT_EQ(Settings::stringValue(portal::restoreTokenKey(ContentKind::display)), std::nullopt)
        << "no token given, none kept";
    ASSERT_TRUE(waitUntil([&] { return collector_->pictures() > 0; }));
    portal_.removeSource(kVanishingNode);
    expectEnd(CaptureError::ended(QStringLiteral("The desktop ended the screen's stream.")));
    // The next tests choose the usual node, without a token that names the one gone.
    portal_.choose(QStringLiteral("monitor"), kMonitorNode);
    Settings::setStringValue(portal::restoreTokenKey(ContentKind::display), QString());
}

TEST_F(PortalCaptureTest, aStreamThatNeverSendsAPictureEnds) {
    portal_.pauseSource(kMonitorNode, true);
    auto stream = startDisplay(640, 360);
    ASSERT_TRUE(stream);
    expectEnd(CaptureError::ended(QStringLiteral("The screen's stream sent no picture.")), 8s);
    EXPECT_EQ(collector_->pictures(), 0);
}

TEST_F(PortalCaptureTest, aPausedSourceKeepsTheTicksAndAResizedOneFitsTheStartSize) {
    auto stream = startDisplay(1280, 720);
    ASSERT_TRUE(stream && waitForColour(barCentre(0, 1280), 100, kBars[0]));

    portal_.pauseSource(kMonitorNode, true);
    // Fifteen ticks in a row without a picture: half a second in which the source sent nothing.
    int pictures = collector_->pictures();
    std::int64_t ticksAtLastPicture = stream->statistics().unchanged;
    EXPECT_TRUE(waitUntil([&] {
        const std::int64_t ticks = stream->statistics().unchanged;
        if (const int now = collector_->pictures(); now != pictures) {
            pictures = now;
            ticksAtLastPicture = ticks;
        }
        return ticks - ticksAtLastPicture >= 15;
    }));
    portal_.pauseSource(kMonitorNode, false);
    ASSERT_TRUE(waitUntil([&] { return collector_->pictures() > pictures; }));

    // Twice as wide for its height: bars above and below in the 16:9 frame.
    portal_.resizeSource(kMonitorNode, 1280, 360);
    EXPECT_TRUE(waitForColour(barCentre(3, 1280), 20, 0x000000));
    EXPECT_TRUE(waitForColour(barCentre(3, 1280), 250, kBars[3]));
    EXPECT_TRUE(collector_->latest()->image->width() == 1280 && collector_->latest()->image->height() == 720);
    portal_.resizeSource(kMonitorNode, 1280, 720);
    EXPECT_TRUE(waitForColour(barCentre(3, 1280), 20, kBars[3]));
    EXPECT_TRUE(ends_.empty());
}

// The recorder as it runs in a Wayland session: the dialog chooses the monitor (a cancel changes
// nothing), the rectangle dragged over its dimmed picture is the region, and the start restores the
// share. A monitor without a picture is an error.
TEST_F(PortalCaptureTest, aRegionIsDraggedOverAStillPictureOfTheChosenMonitorAndItsShareKept) {
    qputenv("BACKREEL_CAPTURE", "portal");
    Platform platform = loadPlatform();
    qunsetenv("BACKREEL_CAPTURE");
    const auto manager = std::make_unique<RecordingManager>(platform, std::make_shared<SaveFlowStandIn>(),
                                                            std::make_shared<RecorderSettings>());
    Settings::setStringValue(portal::restoreTokenKey(ContentKind::region), QString()); // the dialog shows
    portal_.choose(QStringLiteral("monitor"), kMonitorNode);
    const CaptureTarget before = manager->captureTarget();
    const unsigned dialogsBefore = portal_.dialogsShown();
    portal_.setNextAnswer(QStringLiteral("cancel"));
    EXPECT_FALSE(QCoro::waitFor(selectRegionTarget(*manager, platform)));
    EXPECT_EQ(manager->captureTarget(), before);
    EXPECT_EQ(manager->status(), RecordingStatus::idle());

    QCoro::Task<MaybeError> selecting = selectRegionTarget(*manager, platform);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlayViews(kSelector).size() == 1; }, 10000));
    QWidget* view = overlayViews(kSelector).front();
    ASSERT_TRUE(view != nullptr && QTest::qWaitForWindowExposed(view->window()));
    const double scale = view->width() / 1280.0; // view points per monitor pixel
    const auto inView = [&](double x, double y) {
        return QPointF(x * scale, y * scale).toPoint();
    };
    // The yellow bar beneath a black dim of 45 %.
    const QRgb seen = view->grab().toImage().pixel(inView(barCentre(1, 1280), 100));
    EXPECT_TRUE(similarColour(seen & 0xFFFFFF, 0x8C8C00, 6)) << std::hex << seen;
    // From the yellow bar across the cyan one into the green one.
    QTest::mousePress(view, Qt::LeftButton, {}, inView(320, 200));
    QTest::mouseMove(view, inView(640, 520));
    QTest::mouseRelease(view, Qt::LeftButton, {}, inView(640, 520));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selecting.isReady(); }, 5000));
    EXPECT_FALSE(QCoro::waitFor(selecting));
    EXPECT_TRUE(visiblePanels(kSelector).empty());
    const CaptureTarget::RegionTarget* region = manager->captureTarget().asRegion();
    ASSERT_TRUE(region && region->rect == QRectF(320, 200, 320, 320) && region->display.width == 1280);
    // The share the selection made is restored: the start asks no second time.
    QCoro::waitFor(manager->startRecording());
    ASSERT_EQ(manager->status(), RecordingStatus::buffering()) << manager->status().message().toStdString();
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 2);
    QCoro::waitFor(manager->stopAndSave());

    // A monitor that sends no picture: no selector, the region stays.
    const CaptureTarget selected = manager->captureTarget();
    portal_.pauseSource(kMonitorNode, true);
    EXPECT_EQ(QCoro::waitFor(selectRegionTarget(*manager, platform)),
              MaybeError(Error(QStringLiteral("The screen's stream sent no picture."))));
    EXPECT_TRUE(visiblePanels(kSelector).empty());
    EXPECT_EQ(manager->captureTarget(), selected);
}

} // namespace
} // namespace backreel::test
