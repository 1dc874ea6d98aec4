// Recordings through the screen-cast portal, from the start to a saved movie: the recorder as the
// application runs it in a Wayland session (BACKREEL_CAPTURE=portal on the virtual desktop).

#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "overlay/TargetSelection.h"
#include "platform/Platform.h"
#include "platform/portal/PortalRules.h"
#include "core/Settings.h"
#include "PortalTestSupport.h"
#include "support/FfmpegTestMedia.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"

#include <QTemporaryDir>
#include <QTest>

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
        saveFlow_ = std::make_shared<KeepingSaveFlow>(std::make_shared<DesktopSaveFlow>(
            std::make_shared<FixedLocation>(location_),
            MovieWriterServices{platform_.movieFiles, platform_.movieProbe}, nullptr));
        manager_ =
            std::make_unique<RecordingManager>(platform_, saveFlow_, std::make_shared<RecorderSettings>());
    }
    void TearDown() override {
        portal_.pauseSource(kMonitorNode, false);
        // A failed test may leave the region selector up.
        for (QWidget* panel : visiblePanels(kSelectorPanel)) {
            QTest::keyClick(selectorView(panel), Qt::Key_Escape);
        }
    }

    static QWidget* selectorView(QWidget* panel) {
        return panel->findChild<QWidget*>(QStringLiteral("regionSelectorView"));
    }

    double bufferedSeconds() const {
        const std::vector<VideoPacket> video = manager_->session()->videoStore().snapshot();
        return video.size() < 2 ? 0.0
                                : (video.back().presentationTime - video.front().presentationTime).seconds();
    }

    const QString kSelectorPanel = QStringLiteral("perScreenSelectorPanel");
    QTemporaryDir folder_;
    const QString location_ = folder_.filePath(QStringLiteral("clip.mp4"));
    Platform platform_;
    std::shared_ptr<KeepingSaveFlow> saveFlow_;
    std::unique_ptr<RecordingManager> manager_;
};

// The source stands still for a while in the middle: the clip still has a key frame at least every
// half second, and the saved movie reads back and decodes without a message.
TEST_F(PortalRecordingTest, aRecordingWithAPauseInTheSourceSavesAMovieThatDecodes) {
    QCoro::waitFor(manager_->startRecording());
    ASSERT_EQ(manager_->status(), RecordingStatus::buffering()) << manager_->status().message().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= 1.0; }, 10000));
    portal_.pauseSource(kMonitorNode, true);
    const double pausedAt = bufferedSeconds();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= pausedAt + 1.6; }, 10000));
    portal_.pauseSource(kMonitorNode, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= pausedAt + 2.2; }, 10000));
    QCoro::waitFor(manager_->stopAndSave());
    ASSERT_EQ(manager_->status(), RecordingStatus::saved(QUrl::fromLocalFile(location_)))
        << manager_->status().message().toStdString();

    ASSERT_EQ(saveFlow_->clips.size(), 1u);
    const std::vector<VideoPacket>& video = saveFlow_->clips.front().video;
    ASSERT_TRUE(video.front().keyFrame);
    double lastKeyFrame = video.front().presentationTime.seconds();
    for (std::size_t index = 1; index < video.size(); ++index) {
        EXPECT_GT(video[index].presentationTime, video[index - 1].presentationTime) << "frame " << index;
        if (video[index].keyFrame) {
            lastKeyFrame = video[index].presentationTime.seconds();
        }
        EXPECT_LT(video[index].presentationTime.seconds() - lastKeyFrame, 0.55) << "frame " << index;
    }

    std::string output;
    EXPECT_TRUE(runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type,width,height",
                            "-of", "csv=p=0", location_.toStdString()},
                           &output));
    EXPECT_NE(output.find("video,1280,720"), std::string::npos) << output;
    EXPECT_EQ(decodeErrors(location_), "") << "the movie decodes without a message";
}

TEST_F(PortalRecordingTest, aCancelledDialogIsReadyAgainAndAnEndedShareKeepsItsSeconds) {
    portal_.setRefuseRestore(true); // so that the dialog shows
    portal_.setNextAnswer(QStringLiteral("cancel"));
    QCoro::waitFor(manager_->startRecording());
    EXPECT_EQ(manager_->status(), RecordingStatus::idle());

    QCoro::waitFor(manager_->startRecording());
    ASSERT_EQ(manager_->status(), RecordingStatus::buffering()) << manager_->status().message().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= 1.0; }, 10000));
    portal_.endSessions(); // the user clicked "stop sharing"
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager_->hasUnsavedClip(); }, 10000));
    EXPECT_EQ(manager_->status(),
              RecordingStatus::error(QStringLiteral("The desktop stopped the screen sharing.")));
}

// Region asks the dialog for the monitor (a cancelled dialog changes nothing), then the selector shows
// a still picture of that monitor beneath its dim; the rectangle dragged over it, in the monitor's
// pixels, is what the recording shows, and the start asks no second time. A monitor that sends no
// picture ends the selection with an error, before anything is shown.
TEST_F(PortalRecordingTest, aRegionIsDraggedOverAStillPictureOfTheChosenMonitorAndRecorded) {
    Settings::setStringValue(portal::restoreTokenKey(ContentKind::region),
                             QString()); // so that the dialog shows
    portal_.choose(QStringLiteral("monitor"), kMonitorNode);
    const CaptureTarget before = manager_->captureTarget();
    const unsigned dialogsBefore = portal_.dialogsShown();
    portal_.setNextAnswer(QStringLiteral("cancel"));
    EXPECT_FALSE(QCoro::waitFor(selectRegionTarget(*manager_, platform_)));
    EXPECT_EQ(manager_->captureTarget(), before);
    EXPECT_EQ(manager_->status(), RecordingStatus::idle());
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 1);

    QCoro::Task<MaybeError> selecting = selectRegionTarget(*manager_, platform_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return visiblePanels(kSelectorPanel).size() == 1; }, 10000));
    QWidget* view = selectorView(visiblePanels(kSelectorPanel).front());
    ASSERT_TRUE(view != nullptr && QTest::qWaitForWindowExposed(view->window()));
    const double scale = view->width() / 1280.0; // view points per monitor pixel
    const auto inView = [&](double x, double y) {
        return QPointF(x * scale, y * scale).toPoint();
    };
    const QImage grab = view->grab().toImage();
    for (int bar = 0; bar < 7; ++bar) {
        const std::uint32_t seen = grab.pixel(inView(barCentre(bar, 1280), 100)) & 0xFFFFFF;
        std::uint32_t dimmed = 0; // the bar beneath a black dim of 45 %
        for (unsigned shift = 0; shift < 24; shift += 8) {
            dimmed |= static_cast<std::uint32_t>(std::lround(((kBars[bar] >> shift) & 0xFF) * 0.55)) << shift;
        }
        EXPECT_TRUE(similarColour(seen, dimmed, 6)) << "bar " << bar << " shows " << std::hex << seen;
    }
    // From the yellow bar across the cyan one into the green one.
    QTest::mousePress(view, Qt::LeftButton, {}, inView(320, 200));
    QTest::mouseMove(view, inView(480, 360));
    QTest::mouseMove(view, inView(640, 520));
    QTest::mouseRelease(view, Qt::LeftButton, {}, inView(640, 520));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selecting.isReady(); }, 5000));
    EXPECT_FALSE(QCoro::waitFor(selecting));
    EXPECT_TRUE(visiblePanels(kSelectorPanel).empty());
    const CaptureTarget::RegionTarget* region = manager_->captureTarget().asRegion();
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->rect, QRectF(320, 200, 320, 320));
    EXPECT_EQ(region->display.width, 1280);
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 2);

    QCoro::waitFor(manager_->startRecording());
    ASSERT_EQ(manager_->status(), RecordingStatus::buffering()) << manager_->status().message().toStdString();
    EXPECT_EQ(portal_.dialogsShown(), dialogsBefore + 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= 0.5; }, 10000));
    QCoro::waitFor(manager_->stopAndSave());
    ASSERT_EQ(manager_->status(), RecordingStatus::saved(QUrl::fromLocalFile(location_)))
        << manager_->status().message().toStdString();
    const QString framePath = folder_.filePath(QStringLiteral("frame.png"));
    std::string output;
    ASSERT_TRUE(runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", location_.toStdString(), "-frames:v",
                            "1", framePath.toStdString()},
                           &output))
        << output;
    const QImage frame(framePath);
    ASSERT_EQ(frame.size(), QSize(320, 320));
    // The monitor's x = 340, 460 and 620: yellow, cyan and green.
    for (const auto& [x, bar] : {std::pair{20, 1}, std::pair{140, 2}, std::pair{300, 3}}) {
        const std::uint32_t seen = frame.pixel(x, 160) & 0xFFFFFF;
        EXPECT_TRUE(similarColour(seen, kBars[bar])) << "x " << x << " shows " << std::hex << seen;
    }

    // A monitor that sends no picture: no selector, the region stays.
    const CaptureTarget selected = manager_->captureTarget();
    portal_.pauseSource(kMonitorNode, true);
    EXPECT_EQ(QCoro::waitFor(selectRegionTarget(*manager_, platform_)),
              MaybeError(Error(QStringLiteral("The screen's stream sent no picture."))));
    EXPECT_TRUE(visiblePanels(kSelectorPanel).empty());
    EXPECT_EQ(manager_->captureTarget(), selected);
}

} // namespace
} // namespace backreel::test
