// Recordings through the screen-cast portal, from the start to a saved movie: the recorder as the
// application runs it in a Wayland session (BACKREEL_CAPTURE=portal on the virtual desktop).

#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "platform/Platform.h"
#include "PortalTestSupport.h"
#include "support/SaveFlowStandIn.h"

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
        manager_ = std::make_unique<RecordingManager>(platform_, saveFlow_);
    }
    void TearDown() override { portal_.pauseSource(kMonitorNode, false); }

    double bufferedSeconds() const {
        const std::vector<VideoPacket> video = manager_->session()->videoStore().snapshot();
        return video.size() < 2 ? 0.0
                                : (video.back().presentationTime - video.front().presentationTime).seconds();
    }

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
    EXPECT_TRUE(
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", location_.toStdString(), "-f", "null", "-"},
                   &output, 30s));
    EXPECT_EQ(output, "") << "the movie decodes without a message";
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

} // namespace
} // namespace backreel::test
