#include "capture/RecordingManager.h"

#include "export/ClipSelection.h"
#include "platform/ffmpeg/FfmpegCompressionService.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "platform/Settings.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/LogCapture.h"
#include "support/SaveFlowStandIn.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;
using test::LogCapture;

namespace {

backreel::Display display(std::uint32_t id, QString name) {
    return backreel::Display{id, 1920, 1080, QRectF(id == 1 ? 0 : 1920, 0, 1920, 1080), std::move(name)};
}

SyntheticOptions desktop() {
    SyntheticOptions options;
    options.content.displays = {display(1, QStringLiteral("VIRT-1")), display(2, QStringLiteral("VIRT-2"))};
    options.content.applications = {RunningApplication{QStringLiteral("Backreel"), kBundleIdentifier, 1}};
    options.mainDisplayID = 2;
    return options;
}

class RecordingManagerTest : public ::testing::Test {
protected:
    void SetUp() override { Settings::setBoolValue(Settings::kMuteNotificationsKey, false); }

    enum class Encoder { standIn, ffmpeg };

    void make(SyntheticOptions options = desktop(), Encoder encoder = Encoder::standIn) {
        state = std::make_shared<SyntheticState>(std::move(options));
        saveFlow = std::make_shared<test::SaveFlowStandIn>(state);
        Platform platform = makeSyntheticPlatform(state);
        if (encoder == Encoder::ffmpeg) {
            platform.compression = std::make_shared<FfmpegCompressionService>();
        }
        manager = std::make_unique<RecordingManager>(std::move(platform), saveFlow);
        statusSpy = std::make_unique<QSignalSpy>(manager.get(), &RecordingManager::statusChanged);
        QObject::connect(manager.get(), &RecordingManager::statusChanged,
                         [this] { statuses.push_back(manager->status().kind()); });
    }

    void start() { QCoro::waitFor(manager->startRecording()); }
    void stop() { QCoro::waitFor(manager->stopAndSave()); }

    std::vector<std::string> journal(const std::vector<std::string>& only) const {
        std::vector<std::string> result;
        for (const std::string& event : state->journal()) {
            if (std::find(only.begin(), only.end(), event) != only.end()) {
                result.push_back(event);
            }
        }
        return result;
    }

    // Hand delivery: frames every 1/30 s from `from`, audio every 10 ms; then waits until the
    // capture queue has submitted them.
    void deliver(int frames, bool audio, double from = 50.0) {
        auto stream = state->lastStream();
        ASSERT_TRUE(stream);
        for (int i = 0; i < frames; ++i) {
            stream->deliverScreenFrame(MediaTime::makeWithSeconds(from + i / 30.0, kTimeScale));
        }
        if (audio) {
            for (int i = 0; i < frames * 10 / 3; ++i) {
                stream->deliverAudio(MediaTime::makeWithSeconds(from + i * 0.01, kTimeScale));
            }
        }
    }

    std::shared_ptr<SyntheticState> state;
    std::shared_ptr<test::SaveFlowStandIn> saveFlow;
    std::unique_ptr<RecordingManager> manager;
    std::unique_ptr<QSignalSpy> statusSpy;
    std::vector<RecordingStatus::Kind> statuses;
};

std::vector<QString> withPrefixes(const LogCapture& log, std::initializer_list<const char*> prefixes) {
    std::vector<QString> result;
    for (const QString& text : log.texts()) {
        for (const char* prefix : prefixes) {
            if (text.startsWith(QLatin1String(prefix))) {
                result.push_back(text);
                break;
            }
        }
    }
    return result;
}

} // namespace

TEST_F(RecordingManagerTest, StartThenStopBuffersRealTimeSamplesAndSavesTheClip) {
    LogCapture log;
    make();
    start();
    ASSERT_EQ(manager->status(), RecordingStatus::buffering());
    EXPECT_TRUE(manager->stream() && manager->compressionSession() && manager->sessionRefcon() &&
                manager->captureDelegate());
    EXPECT_EQ(withPrefixes(log, {"[Start]", "[Compression]"}),
              (std::vector<QString>{
                  QStringLiteral("[Start] target=10s bufferCapacity=10.8s"),
                  QStringLiteral("[Start] captureSize=1920×1080"),
                  QStringLiteral("[Compression] Creating session: codec=H264, 1920×1080"),
                  QStringLiteral("[Compression] Session ready: H264, bitrate=20Mbps, keyframeInterval=0.5s"),
                  QStringLiteral("[Start] SCStream started OK"),
              }));
    // The main display (id 2) was captured, without our own application.
    const auto stream = state->lastStream();
    EXPECT_EQ(stream->filter().displayContent()->display.displayID, 2u);
    EXPECT_EQ(stream->filter().displayContent()->excludedApplications.size(), 1u);

    QTest::qWait(700);
    stop();

    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    EXPECT_GE(clip.video.size(), 10u);
    EXPECT_TRUE(isKeyframe(*clip.video.front()));
    EXPECT_FALSE(clip.audio.empty());
    EXPECT_EQ(manager->status(),
              RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/backreel-test.mp4"))));
    EXPECT_EQ(statuses, (std::vector<RecordingStatus::Kind>{RecordingStatus::Kind::buffering,
                                                            RecordingStatus::Kind::saving,
                                                            RecordingStatus::Kind::saved}));
    EXPECT_FALSE(manager->stream() || manager->compressionSession() || manager->sessionRefcon() ||
                 manager->captureDelegate());
    EXPECT_EQ(manager->ringBuffer()->count(), 0u);
    EXPECT_EQ(manager->audioRingBuffer()->count(), 0u);
}

TEST_F(RecordingManagerTest, GeneratedFramesThroughTheRealEncoderGiveADecodableClip) {
    LogCapture log;
    SyntheticOptions options = desktop();
    options.content.displays = {
        backreel::Display{1, 1280, 720, QRectF(0, 0, 1280, 720), QStringLiteral("VIRT-1")}};
    options.mainDisplayID = 1;
    make(options, Encoder::ffmpeg);
    start();
    ASSERT_EQ(manager->status(), RecordingStatus::buffering());
    QTest::qWait(1200);
    stop();

    EXPECT_EQ(log.countStartingWith(QStringLiteral("[VT] First compressed frame out: PTS=")), 1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[VT] Encode error")), 0);
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const std::vector<MediaSamplePtr>& video = saveFlow->clips.front().video;
    ASSERT_GE(video.size(), 20u) << "about 30 frames a second for more than a second";
    ASSERT_TRUE(isKeyframe(*video.front()));
    auto decoder = FfmpegFrameDecoder::create(*video.front()->formatDescription());
    ASSERT_NE(decoder, nullptr);
    double lastKeyFrame = video.front()->presentationTime().seconds();
    for (std::size_t index = 0; index < video.size(); ++index) {
        const MediaSample& sample = *video[index];
        if (index > 0) {
            EXPECT_GT(sample.presentationTime(), video[index - 1]->presentationTime()) << "frame " << index;
        }
        // A key frame at least every half second of time stamps, however the frames arrived.
        if (isKeyframe(sample)) {
            lastKeyFrame = sample.presentationTime().seconds();
        }
        EXPECT_LT(sample.presentationTime().seconds() - lastKeyFrame, 0.5) << "frame " << index;
        ImageBufferPtr picture;
        ASSERT_EQ(decoder->decode(sample, &picture), 0) << "frame " << index;
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->width(), 1280);
        EXPECT_EQ(picture->height(), 720);
    }
}

TEST_F(RecordingManagerTest, StopRunsInItsFixedOrderAndSavesVideoWithoutAudio) {
    LogCapture log;
    auto options = desktop();
    options.generateSamples = false;
    options.encodeLatencyMicroseconds = 3000; // frames still in the encoder when the stop begins
    make(options);
    start();
    deliver(45, false);
    stop();

    const std::vector<QString> stopLines = withPrefixes(log, {"[Stop]", "[startIndex]"});
    EXPECT_EQ(
        stopLines,
        (std::vector<QString>{
            QStringLiteral("[Stop] User triggered stop"),
            QStringLiteral("[Stop] SCStream stopped; draining capture queue…"),
            QStringLiteral("[Stop] Queues drained; delegate released (audioCallbacks=0)"),
            QStringLiteral("[Stop] Zero audio callbacks — is another app playing audio? "
                           "(excludesCurrentProcessAudio=true means Backreel's own audio is excluded)"),
            QStringLiteral("[Stop] Completing VT session…"),
            QStringLiteral("[Stop] VT session completed and invalidated"),
            QStringLiteral("[Stop] Audio ring: EMPTY — audio callbacks may not have fired or storage failed"),
            QStringLiteral("[Stop] Buffer: 45 video frames (span=1.47s)"),
            QStringLiteral(
                "[startIndex] Pass2 fallback: buffer shorter than target, using first keyframe at idx=0"),
            QStringLiteral("[Stop] startIndex=0 → 45 candidate frames before keyframe trim"),
            QStringLiteral(
                "[Stop] Clip: 45 video frames; 0 audio samples; clipStartPTS=50.000s clipEndPTS=51.467s"),
        }));
    EXPECT_EQ(log.levelOf(QStringLiteral("[Stop] Queues drained; delegate released (audioCallbacks=0)")),
              QtInfoMsg);
    // Every frame submitted before the stop reached the clip: the session was completed first.
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    EXPECT_EQ(saveFlow->clips.front().video.size(), 45u);
    EXPECT_TRUE(saveFlow->clips.front().audio.empty());
    EXPECT_EQ(journal({"stopCapture", "completeFrames", "invalidate", "save"}),
              (std::vector<std::string>{"stopCapture", "completeFrames", "invalidate", "save"}));
    EXPECT_TRUE(manager->status().is(RecordingStatus::Kind::saved));
}

TEST_F(RecordingManagerTest, StopWithAudioKeepsTheAudioAroundTheClip) {
    LogCapture log;
    auto options = desktop();
    options.generateSamples = false;
    make(options);
    start();
    deliver(30, true);
    stop();
    EXPECT_EQ(log.count(QStringLiteral("[Stop] Queues drained; delegate released (audioCallbacks=100)")), 1);
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    EXPECT_EQ(saveFlow->clips.front().audio.size(), 100u);
}

TEST_F(RecordingManagerTest, OneFrameIsTooShortAndTheStoresEndEmpty) {
    auto options = desktop();
    options.generateSamples = false;
    make(options);
    start();
    deliver(1, true);
    stop();
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("Recording too short — try again.")));
    EXPECT_TRUE(saveFlow->clips.empty());
    EXPECT_EQ(manager->ringBuffer()->count(), 0u);
    EXPECT_EQ(manager->audioRingBuffer()->count(), 0u);
}

TEST_F(RecordingManagerTest, CancelledSaveReturnsToIdleAndASecondStopDoesNothing) {
    auto options = desktop();
    options.generateSamples = false;
    make(options);
    saveFlow->outcome = RecordingStatus::idle();
    start();
    deliver(20, false);
    stop();
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    state->clearJournal();
    stop();
    EXPECT_TRUE(state->journal().empty());
    EXPECT_EQ(saveFlow->clips.size(), 1u);
}

TEST_F(RecordingManagerTest, StartWhileBufferingDoesNothingAtAll) {
    make();
    start();
    LogCapture log;
    state->clearJournal();
    const auto notifications = statusSpy->count();
    start();
    EXPECT_TRUE(withPrefixes(log, {"[Start]", "[Compression]"}).empty());
    EXPECT_TRUE(state->journal().empty());
    EXPECT_EQ(statusSpy->count(), notifications);
    stop();
}

TEST_F(RecordingManagerTest, RefusedContentEndsWithThePermissionMessage) {
    LogCapture log;
    auto options = desktop();
    options.contentError = Error{QStringLiteral("X11"), 1, QStringLiteral("cannot open display")};
    make(options);
    start();
    EXPECT_EQ(
        manager->status().message(),
        QStringLiteral("Screen Recording permission required.\nEnable it in System Settings → Privacy & "
                       "Security → Screen Recording, then relaunch Backreel."));
    EXPECT_EQ(log.texts(), std::vector<QString>{QStringLiteral("[Start] target=10s bufferCapacity=10.8s")});
    EXPECT_FALSE(manager->stream() || manager->compressionSession());
    EXPECT_EQ(manager->ringBuffer()->maxDuration(), 10.75) << "a failed start leaves the capacity set";
}

TEST_F(RecordingManagerTest, NoDisplayAtAll) {
    auto options = desktop();
    options.content.displays.clear();
    make(options);
    start();
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("No display found.")));
}

TEST_F(RecordingManagerTest, EachLaterFailureIsLoggedAndShown) {
    struct Case {
        const char* name;
        std::function<void(SyntheticOptions&)> fail;
        QString description;
    };
    const std::vector<Case> cases{
        {"session", [](SyntheticOptions& o) { o.createSessionStatus = -12908; },
         QStringLiteral("Failed to create compression session (err -12908).")},
        {"screen output",
         [](SyntheticOptions& o) {
             o.addScreenOutputError = Error{"x", 3, "screen output refused"};
         },
         QStringLiteral("screen output refused")},
        {"audio output",
         [](SyntheticOptions& o) {
             o.addAudioOutputError = Error{"pulse", 4, "Connection refused"};
         },
         QStringLiteral("Connection refused")},
        {"start",
         [](SyntheticOptions& o) {
             o.startError = Error{"x", 5, "MIT-SHM is not available"};
         },
         QStringLiteral("MIT-SHM is not available")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        auto options = desktop();
        c.fail(options);
        make(options);
        start();
        EXPECT_EQ(manager->status(), RecordingStatus::error(c.description));
        EXPECT_EQ(log.count(QStringLiteral("[Start] SCStream failed: %1").arg(c.description)), 1);
        EXPECT_EQ(log.levelOf(QStringLiteral("[Start] SCStream failed: %1").arg(c.description)),
                  QtCriticalMsg);
        EXPECT_TRUE(journal({"mute"}).empty());

        // The next start replaces whatever the failed one left behind.
        state->changeOptions([](SyntheticOptions& o) { o = desktop(); });
        start();
        EXPECT_EQ(manager->status(), RecordingStatus::buffering());
        stop();
    }
}

TEST_F(RecordingManagerTest, MuteOptionPersistsAndWrapsBuffering) {
    make();
    EXPECT_FALSE(manager->muteNotifications());
    QSignalSpy muteSpy(manager.get(), &RecordingManager::muteNotificationsChanged);
    manager->setMuteNotifications(true);
    manager->setMuteNotifications(true);
    EXPECT_EQ(muteSpy.count(), 1);
    manager->setBufferDuration(RecordingDuration::oneMinute);

    make(); // a relaunch
    EXPECT_TRUE(manager->muteNotifications());
    EXPECT_EQ(manager->bufferDuration(), RecordingDuration::tenSeconds);

    start();
    stop();
    EXPECT_EQ(journal({"startCapture", "mute", "unmute", "stopCapture"}),
              (std::vector<std::string>{"startCapture", "mute", "unmute", "stopCapture"}));

    manager->setMuteNotifications(false);
    state->clearJournal();
    start();
    stop();
    EXPECT_TRUE(journal({"mute", "unmute"}).empty());
}

TEST_F(RecordingManagerTest, StreamStoppingByItselfShowsTheErrorAndLiftsTheMuteOnce) {
    make();
    manager->setMuteNotifications(true);
    start();
    state->lastStream()->failWithError(
        Error{QStringLiteral("X11"), 7, QStringLiteral("The display went away.")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return manager->status().is(RecordingStatus::Kind::error); }, 2000));
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("The display went away.")));
    EXPECT_EQ(journal({"mute", "unmute"}), (std::vector<std::string>{"mute", "unmute"}));
    EXPECT_TRUE(manager->stream()) << "the objects stay until the next start";

    // A second report while not buffering changes nothing.
    state->lastStream()->failWithError(Error{QStringLiteral("X11"), 8, QStringLiteral("again")});
    QTest::qWait(50);
    EXPECT_EQ(manager->status().message(), QStringLiteral("The display went away."));
    EXPECT_EQ(journal({"unmute"}).size(), 1u);

    start();
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
    stop();
}

TEST_F(RecordingManagerTest, PropertiesNotifyByTheirRules) {
    make();
    QSignalSpy targetSpy(manager.get(), &RecordingManager::captureTargetChanged);
    QSignalSpy infoSpy(manager.get(), &RecordingManager::selectedWindowInfoChanged);
    QSignalSpy includeSpy(manager.get(), &RecordingManager::includeBackreelWindowChanged);

    manager->setStatus(RecordingStatus::idle());
    EXPECT_EQ(statusSpy->count(), 0) << "an equal status does not notify";
    manager->setIncludeBackreelWindow(false);
    EXPECT_EQ(includeSpy.count(), 0);

    Window window;
    window.windowID = 9;
    window.frame = QRectF(0, 0, 640, 480);
    const auto windowTarget = CaptureTarget::window(ContentFilter::desktopIndependentWindow(window));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Editor"), QStringLiteral("gedit"), window.frame, 9, true});
    manager->setCaptureTarget(windowTarget);
    manager->setCaptureTarget(windowTarget);
    EXPECT_EQ(targetSpy.count(), 2) << "the target notifies on every assignment";
    EXPECT_TRUE(manager->selectedWindowInfo()) << "a window target keeps the picked window's info";

    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 10, 10), display(1, QStringLiteral("VIRT-1"))));
    EXPECT_FALSE(manager->selectedWindowInfo());
    manager->setSelectedWindowInfo(std::nullopt);
    EXPECT_EQ(infoSpy.count(), 3) << "the picked window's info notifies on every assignment";
}

TEST_F(RecordingManagerTest, RefreshDisplaysFillsTheListAndTheMainDisplay) {
    make();
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 2u);
    ASSERT_TRUE(manager->captureTarget().asDisplay()->display);
    EXPECT_EQ(manager->captureTarget().asDisplay()->display->displayID, 2u);

    QSignalSpy targetSpy(manager.get(), &RecordingManager::captureTargetChanged);
    QSignalSpy displaysSpy(manager.get(), &RecordingManager::availableDisplaysChanged);
    state->changeOptions([](SyntheticOptions& o) { o.content.displays.pop_back(); });
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 1u);
    EXPECT_EQ(displaysSpy.count(), 1);
    EXPECT_EQ(targetSpy.count(), 0) << "a target with a display is left alone";

    state->changeOptions([](SyntheticOptions& o) { o.contentError = Error{"x", 1, "no"}; });
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 1u);
}
