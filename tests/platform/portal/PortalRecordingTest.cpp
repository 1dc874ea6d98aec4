// A region chosen through the screen-cast portal: the recorder as the application runs it in a
// Wayland session (BACKREEL_CAPTURE=portal on the virtual desktop).

#include "capture/RecordingManager.h"
#include "core/Settings.h"
#include "overlay/TargetSelection.h"
#include "platform/Platform.h"
#include "platform/portal/PortalRules.h"
#include "PortalTestSupport.h"
#include "support/SyntheticRecorder.h"
#include "support/WidgetTest.h"

namespace backreel::test {
namespace {

class PortalRecordingTest : public PortalTest {
protected:
    void SetUp() override {
        PortalTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        qputenv("BACKREEL_CAPTURE", "portal");
        platform_ = loadPlatform();
        qunsetenv("BACKREEL_CAPTURE");
        manager_ = std::make_unique<RecordingManager>(platform_, std::make_shared<SaveFlowStandIn>(),
                                                      std::make_shared<RecorderSettings>());
    }
    void TearDown() override {
        portal_.pauseSource(kMonitorNode, false);
        closeOverlays();
    }

    Platform platform_;
    std::unique_ptr<RecordingManager> manager_;
};

// Region asks the dialog for the monitor (a cancelled dialog changes nothing), then the selector
// shows a still picture of that monitor beneath its dim; the rectangle dragged over it, in the
// monitor's pixels, is the region, and its share is restored at the start, which asks no second
// time. A monitor that sends no picture ends the selection with an error, before anything shows.
TEST_F(PortalRecordingTest, aRegionIsDraggedOverAStillPictureOfTheChosenMonitorAndItsShareKept) {
    Settings::setStringValue(portal::restoreTokenKey(ContentKind::region), QString()); // the dialog shows
    portal_.choose(QStringLiteral("monitor"), kMonitorNode);
    const CaptureTarget before = manager_->captureTarget();
    const unsigned dialogsBefore = portal_.dialogsShown();
    portal_.setNextAnswer(QStringLiteral("cancel"));
    EXPECT_FALSE(QCoro::waitFor(selectRegionTarget(*manager_, platform_)));
    EXPECT_EQ(manager_->captureTarget(), before);
    EXPECT_EQ(manager_->status(), RecordingStatus::idle());

    QCoro::Task<MaybeError> selecting = selectRegionTarget(*manager_, platform_);
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
    const CaptureTarget::RegionTarget* region = manager_->captureTarget().asRegion();
    ASSERT_TRUE(region && region->rect == QRectF(320, 200, 320, 320) && region->display.width == 1280);
    // The share the selection made is restored: the start asks no second time.
    QCoro::waitFor(manager_->startRecording());
    ASSERT_EQ(manager_->status(), RecordingStatus::buffering()) << manager_->status().message().toStdString();
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 2);
    QCoro::waitFor(manager_->stopAndSave());

    // A monitor that sends no picture: no selector, the region stays.
    const CaptureTarget selected = manager_->captureTarget();
    portal_.pauseSource(kMonitorNode, true);
    EXPECT_EQ(QCoro::waitFor(selectRegionTarget(*manager_, platform_)),
              MaybeError(Error(QStringLiteral("The screen's stream sent no picture."))));
    EXPECT_TRUE(visiblePanels(kSelector).empty());
    EXPECT_EQ(manager_->captureTarget(), selected);
}

} // namespace
} // namespace backreel::test
