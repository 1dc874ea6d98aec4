// Save Clip on the real desktop: the X11 capture of a moving picture, the real encoder, stores,
// writer and save flow into a clip folder, while buffering goes on. Checked with the movie probe
// and FFmpeg's own tools.

#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "platform/MovieFile.h"
#include "platform/Platform.h"
#include "support/LogCapture.h"
#include "support/SaveFlowStandIn.h"

#include <gtest/gtest.h>
#include <QCoroTask>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

// The flags of the movie's first video packet, "K_" for a key frame.
QString firstPacketFlags(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 QStringLiteral("v"), QStringLiteral("-show_entries"), QStringLiteral("packet=flags"),
                 QStringLiteral("-read_intervals"), QStringLiteral("%+#1"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    probe.waitForFinished(30000);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

bool overlap(const Clip& earlier, const Clip& later) {
    return later.startPTS <= earlier.endPTS;
}

class SaveClipOnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // Real-time capture under TSan drops most frames, and QProcess hides its hand-overs.
        GTEST_SKIP() << "not under ThreadSanitizer";
#endif
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            GTEST_SKIP() << "needs the virtual desktop (scripts/virtual-desktop)";
        }
        for (const char* tool : {"ffplay", "ffprobe"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        picture.start(QStringLiteral("ffplay"),
                      {QStringLiteral("-loglevel"), QStringLiteral("quiet"), QStringLiteral("-an"),
                       QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc2=size=640x360:rate=30"), QStringLiteral("-left"),
                       QStringLiteral("0"), QStringLiteral("-top"), QStringLiteral("0")});

        platform = loadPlatform();
        saveFlow = std::make_shared<test::KeepingSaveFlow>(std::make_shared<DesktopSaveFlow>(
            nullptr, MovieWriterServices{platform.movieFiles, platform.movieProbe}, nullptr));
        manager = std::make_unique<RecordingManager>(platform, saveFlow, settings);
        settings->setClipFolder(folder.filePath(QStringLiteral("clips")));
        manager->setBufferDuration(RecordingDuration::thirtySeconds);
        QCoro::waitFor(manager->refreshDisplays());
        QCoro::waitFor(manager->startRecording());
        ASSERT_EQ(manager->status(), RecordingStatus::buffering())
            << manager->status().message().toStdString();
    }
    void TearDown() override {
        manager.reset();
        picture.kill();
        picture.waitForFinished();
    }

    // Seconds from the oldest to the newest picture in the video store.
    double buffered() const {
        const RingBuffer& video = manager->session()->videoStore();
        return video.spanSeconds();
    }
    MediaTime newest() const {
        const std::vector<VideoPacket> video = manager->session()->videoStore().snapshot();
        return video.empty() ? MediaTime::invalid() : video.back().presentationTime;
    }
    void waitForBuffered(double seconds) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return buffered() >= seconds; }, 30000)) << buffered();
    }
    QString savedPath(std::size_t index) const {
        return saved_.at(index);
    }

    test::LogCapture log;
    QTemporaryDir folder;
    QProcess picture;
    Platform platform;
    std::shared_ptr<test::KeepingSaveFlow> saveFlow;
    std::shared_ptr<RecorderSettings> settings = std::make_shared<RecorderSettings>();
    std::unique_ptr<RecordingManager> manager;
    std::vector<QString> saved_;
};

} // namespace

// The newest three seconds of a buffer holding more are saved as a movie of three seconds that
// starts on a key frame, while the recording goes on: the same session, its store still growing.
// Two quick saves overlap in time as the buffer is kept; with a fresh buffer after each save they
// do not.
TEST_F(SaveClipOnTheDesktop, ClipsOfTheChosenLengthWhileBufferingGoesOnWithAndWithoutAFreshBuffer) {
    QObject::connect(manager.get(), &RecordingManager::clipSaved,
                     [this](const QString& path, double) { saved_.push_back(path); });
    waitForBuffered(4.6);
    const RecordingSession* session = manager->session();
    const MediaTime before = newest();
    QCoro::waitFor(manager->saveClip(3s));
    ASSERT_EQ(saved_.size(), 1u) << manager->lastClipOutcome().message().toStdString();
    EXPECT_EQ(manager->session(), session);
    EXPECT_TRUE(manager->status().is(RecordingStatus::Kind::buffering));
    EXPECT_TRUE(QTest::qWaitFor([&] { return newest() > before; }, 5000)) << "the store kept growing";

    const Expected<MovieInfo> info = platform.movieProbe->probe(savedPath(0));
    ASSERT_TRUE(info) << info.error().description.toStdString();
    EXPECT_EQ(info.value().videoTrackCount, 1u);
    EXPECT_GE(info.value().durationSeconds, 2.9);
    EXPECT_LE(info.value().durationSeconds, 3.6) << "3 s and at most a key frame interval more";
    EXPECT_TRUE(firstPacketFlags(savedPath(0)).startsWith(QLatin1Char('K')));
    EXPECT_TRUE(savedPath(0).startsWith(folder.filePath(QStringLiteral("clips/loopvane-"))));

    // Two quick saves keeping the buffer: the second holds much of the first.
    QCoro::Task<> first = manager->saveClip(2s);
    QCoro::Task<> second = manager->saveClip(2s);
    QCoro::waitFor(first);
    QCoro::waitFor(second);
    ASSERT_EQ(saveFlow->clips.size(), 3u);
    EXPECT_TRUE(overlap(saveFlow->clips[1], saveFlow->clips[2]));

    // With a fresh buffer after each save they do not overlap.
    settings->setFreshBufferAfterSave(true);
    QCoro::Task<> third = manager->saveClip(2s);
    waitForBuffered(1.0);
    QCoro::Task<> fourth = manager->saveClip(2s);
    QCoro::waitFor(third);
    QCoro::waitFor(fourth);
    ASSERT_EQ(saveFlow->clips.size(), 5u);
    EXPECT_FALSE(overlap(saveFlow->clips[3], saveFlow->clips[4]));
    EXPECT_EQ(saved_.size(), 5u);
    EXPECT_EQ(manager->clipSavesPending(), 0);
}
