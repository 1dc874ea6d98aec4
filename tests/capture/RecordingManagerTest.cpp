#include "capture/RecordingManager.h"

#include "support/LogCapture.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/synthetic/SyntheticPlatform.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;

namespace {

backreel::Display display(std::uint32_t id, QString name) {
    return backreel::Display{id, 1920, 1080, QRectF(id == 1 ? 0 : 1920, 0, 1920, 1080), std::move(name)};
}

SyntheticOptions desktop() {
    SyntheticOptions options;
    options.content.displays = {display(1, QStringLiteral("VIRT-1")), display(2, QStringLiteral("VIRT-2"))};
    options.content.applications = {RunningApplication{QStringLiteral("Backreel"), kApplicationID, 1}};
    options.mainDisplayID = 2;
    return options;
}

// Frames and audio only where a test delivers them.
SyntheticOptions handDriven() {
    SyntheticOptions options = desktop();
    options.generateSamples = false;
    return options;
}

} // namespace

class RecordingManagerTest : public ::testing::Test {
protected:
    void make(SyntheticOptions options = desktop(), std::shared_ptr<VideoEncoderService> encoders = nullptr) {
        manager.reset();
        settings = std::make_shared<RecorderSettings>(); // read afresh, as at a launch
        state = std::make_shared<SyntheticState>(std::move(options));
        saveFlow = std::make_shared<test::SaveFlowStandIn>(state);
        Platform platform = makeSyntheticPlatform(state);
        if (encoders) {
            platform.encoders = std::move(encoders);
        }
        manager = std::make_unique<RecordingManager>(std::move(platform), saveFlow, settings);
        QObject::connect(manager.get(), &RecordingManager::statusChanged,
                         [this] { statuses.push_back(manager->status().kind()); });
    }

    void start() { QCoro::waitFor(manager->startRecording()); }
    void stop() { QCoro::waitFor(manager->stopAndSave()); }

    // The journal's entries of these kinds, in order.
    std::vector<std::string> journal(const std::vector<std::string>& only) const {
        std::vector<std::string> result;
        for (const std::string& event : state->journal()) {
            if (std::find(only.begin(), only.end(), event) != only.end()) {
                result.push_back(event);
            }
        }
        return result;
    }

    // Frames every 1/30 s from `from` and, with audio, 10 ms chunks over the same span.
    void deliver(int frames, bool audio, double from = 50.0) {
        SyntheticVideoSource* source = state->lastSource();
        SyntheticAudioSource* sound = state->lastAudio();
        ASSERT_TRUE(source && sound);
        for (int i = 0; i < frames; ++i) {
            source->deliverScreenFrame(MediaTime::makeWithSeconds(from + i / 30.0, kTimeScale));
        }
        for (int i = 0; audio && i < frames * 10 / 3; ++i) {
            sound->deliverAudio(MediaTime::makeWithSeconds(from + i * 0.01, kTimeScale));
        }
    }

    std::shared_ptr<SyntheticState> state;
    std::shared_ptr<test::SaveFlowStandIn> saveFlow;
    std::shared_ptr<RecorderSettings> settings;
    std::unique_ptr<RecordingManager> manager;
    std::vector<RecordingStatus::Kind> statuses;
};

TEST_F(RecordingManagerTest, RealTimeBufferingIsSavedAsAClipStartingOnAKeyFrame) {
    make();
    start();
    ASSERT_EQ(manager->status(), RecordingStatus::buffering());
    // The main display (id 2) is captured, without our own application.
    const SyntheticVideoSource* stream = state->lastSource();
    EXPECT_EQ(stream->filter().displayContent()->display.displayID, 2u);
    EXPECT_EQ(stream->filter().displayContent()->excludedApplications.size(), 1u);

    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->session()->videoStore().count() >= 20; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->session()->audioStore().count() >= 20; }, 5000));
    stop();

    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    EXPECT_GE(clip.video.size(), 10u);
    EXPECT_TRUE(clip.video.front().keyFrame);
    EXPECT_FALSE(clip.audio.empty());
    EXPECT_EQ(statuses, (std::vector<RecordingStatus::Kind>{RecordingStatus::Kind::buffering,
                                                            RecordingStatus::Kind::saving,
                                                            RecordingStatus::Kind::saved}));
    EXPECT_EQ(manager->session(), nullptr) << "the recording ends with the save";
}

TEST_F(RecordingManagerTest, StopCompletesTheEncoderBeforeCuttingTheClipAndKeepsTheAudioAsCopies) {
    SyntheticOptions options = handDriven();
    options.encodeLatencyMicroseconds = 3000; // frames still in the encoder when the stop begins
    make(options);
    start();
    deliver(45, true);
    stop();

    // Every frame given before the stop reached the clip, with the audio around it.
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    EXPECT_EQ(clip.video.size(), 45u);
    ASSERT_EQ(clip.audio.size(), 150u);
    EXPECT_EQ(clip.audio.front().frameCount(), 480);
    EXPECT_EQ(journal({"stopCapture", "finish", "close", "save"}),
              (std::vector<std::string>{"stopCapture", "finish", "close", "save"}));
}

TEST_F(RecordingManagerTest, ShortRecordingsEndWithTheirMessage) {
    struct Case {
        int frames;
        QString message;
    };
    for (const Case& c : {Case{0, QStringLiteral("No frames were captured.")},
                          Case{1, QStringLiteral("Recording too short — try again.")}}) {
        make(handDriven());
        start();
        deliver(c.frames, true);
        stop();
        EXPECT_EQ(manager->status(), RecordingStatus::error(c.message));
        EXPECT_TRUE(saveFlow->clips.empty());
    }
}

TEST_F(RecordingManagerTest, CancelledSaveReturnsToIdleAndASecondStopDoesNothing) {
    make(handDriven());
    saveFlow->outcome = RecordingStatus::idle();
    start();
    deliver(20, false);
    stop();
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    EXPECT_FALSE(manager->hasUnsavedClip()) << "a first save's cancel lets the clip go";
    state->clearJournal();
    stop();
    EXPECT_TRUE(state->journal().empty());
    EXPECT_EQ(saveFlow->clips.size(), 1u);
}

TEST_F(RecordingManagerTest, StartWhileBufferingDoesNothingAtAll) {
    make();
    start();
    state->clearJournal();
    const std::size_t notifications = statuses.size();
    start();
    EXPECT_TRUE(state->journal().empty());
    EXPECT_EQ(statuses.size(), notifications);
    stop();
}

// Each failure ends the start at its step, before the platform call that would follow (the encoder
// opens before the stream is made), and never with our mute, which comes with buffering.
TEST_F(RecordingManagerTest, EveryFailedStartShowsItsReasonAndTheNextStartWorks) {
    struct Case {
        const char* name;
        std::function<void(SyntheticOptions&)> fail;
        QString message;
        const char* notReached;
    };
    const std::vector<Case> cases{
        {"content refused",
         [](SyntheticOptions& o) {
             o.contentError = CaptureError::failed("Cannot connect to the X display :9: no screen.");
         },
         QStringLiteral("Cannot connect to the X display :9: no screen."), "createStream"},
        {"content refused without a reason",
         [](SyntheticOptions& o) {
             o.contentError = CaptureError::failed("");
         },
         RecordingManager::kContentUnavailableMessage, "createStream"},
        {"no display", [](SyntheticOptions& o) { o.content.displays.clear(); },
         QStringLiteral("No display found."), "createStream"},
        {"encoder",
         [](SyntheticOptions& o) {
             o.openError = EncoderError{EncoderError::Kind::unsupportedSize,
                                        QStringLiteral("libx264 cannot encode 100000×100000 pictures")};
         },
         QStringLiteral(
             "Failed to create compression session (libx264 cannot encode 100000×100000 pictures)."),
         "createStream"},
        {"start",
         [](SyntheticOptions& o) {
             o.startError = CaptureError::failed("MIT-SHM is not available");
         },
         QStringLiteral("MIT-SHM is not available"), "mute"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SyntheticOptions options = desktop();
        c.fail(options);
        make(options);
        settings->setMuteNotifications(true);
        start();
        EXPECT_EQ(manager->status(), RecordingStatus::error(c.message));
        EXPECT_EQ(manager->session(), nullptr);
        EXPECT_TRUE(journal({c.notReached, "mute"}).empty()) << "never buffering";

        state->changeOptions([](SyntheticOptions& o) { o = desktop(); });
        start();
        EXPECT_EQ(manager->status(), RecordingStatus::buffering());
        stop();
    }
}

TEST_F(RecordingManagerTest, MuteOptionWrapsBuffering) {
    make();
    settings->setMuteNotifications(true);
    start();
    stop();
    EXPECT_EQ(journal({"startCapture", "mute", "unmute", "stopCapture"}),
              (std::vector<std::string>{"startCapture", "mute", "unmute", "stopCapture"}));

    // Switched off while buffering: the stop still lifts our mute.
    state->clearJournal();
    start();
    settings->setMuteNotifications(false);
    stop();
    EXPECT_EQ(journal({"mute", "unmute"}), (std::vector<std::string>{"mute", "unmute"}));

    state->clearJournal();
    start();
    stop();
    EXPECT_TRUE(journal({"mute", "unmute"}).empty());
}

// What the source buffered is kept for saving, and a new recording lets it go.
TEST_F(RecordingManagerTest, ASourceEndingByItselfShowsTheReasonAndLiftsTheMuteOnce) {
    make(handDriven());
    settings->setMuteNotifications(true);
    start();
    deliver(20, true);
    state->lastSource()->failWithError(QStringLiteral("The display went away."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->hasUnsavedClip(); }, 2000));
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("The display went away.")));
    EXPECT_EQ(manager->unsavedClipOffer(), UnsavedClipOffer::saveWhatWasBuffered);
    EXPECT_EQ(manager->session(), nullptr);
    EXPECT_EQ(journal({"mute", "unmute", "stopCapture"}),
              (std::vector<std::string>{"mute", "unmute", "stopCapture"}));

    start();
    ASSERT_EQ(manager->status(), RecordingStatus::buffering());
    EXPECT_FALSE(manager->hasUnsavedClip());
    stop();
}

// A memory limit far below what the duration would take: buffering keeps the newest second or so
// within it, the clip still starts on a key frame, the status line says how much the buffer holds
// (cleared by the next start), and the first trim is logged once.
TEST_F(RecordingManagerTest, AMemoryLimitKeepsTheNewestSecondsAndSaysSo) {
    SyntheticOptions options = desktop(); // in real time
    options.packetBytes = 30'000;         // 900 kB of video a second beside 384 kB of audio
    make(options);
    settings->setMemoryLimit(MemoryLimit(1'200'000));
    test::LogCapture log;
    start();
    const MediaStores& stores = manager->session()->stores();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stores.limitReached(); }, 3000));
    // Within a second of the first trim; the limit holds less than a second.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager->status().note().isEmpty(); }, 1500));
    const QString note = manager->status().note();
    EXPECT_TRUE(note == memoryLimitNote(0) || note == memoryLimitNote(1)) << note.toStdString();
    EXPECT_LE(stores.peakBytes(), 1'200'000u);
    stop();

    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    EXPECT_TRUE(clip.video.front().keyFrame);
    const double seconds = subtract(clip.endPTS, clip.startPTS).seconds();
    EXPECT_GT(seconds, 0.3);
    EXPECT_LT(seconds, 1.0);
    ASSERT_FALSE(clip.audio.empty());
    EXPECT_GE(clip.audio.front().presentationTime, clip.startPTS);
    EXPECT_EQ(
        log.countStartingWith(QStringLiteral("[Buffer] Memory limit 1.2 MB reached: keeping the newest ")),
        1);

    start();
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
    stop();
}

// A single frame makes no clip: the error stays, with nothing to offer.
TEST_F(RecordingManagerTest, AStreamFaultWithTooLittleBufferedOffersNothing) {
    make(handDriven());
    start();
    deliver(1, false);
    state->lastSource()->failWithError(QStringLiteral("Gone."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->session() == nullptr; }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !journal({"close"}).empty(); }, 2000));
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("Gone.")));
    EXPECT_FALSE(manager->hasUnsavedClip());
}

// A failed save keeps the clip, also through a start that fails; a recording that runs ends it.
TEST_F(RecordingManagerTest, ASaveFailureKeepsTheClipUntilANewRecordingRuns) {
    make(handDriven());
    QSignalSpy changes(manager.get(), &RecordingManager::unsavedClipChanged);
    saveFlow->outcome = RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."));
    start();
    deliver(20, false);
    stop();
    EXPECT_EQ(manager->unsavedClipOffer(), UnsavedClipOffer::saveAgain);

    state->changeOptions([](SyntheticOptions& o) {
        o.startError = CaptureError::failed("MIT-SHM is not available");
    });
    start();
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("MIT-SHM is not available")));
    EXPECT_TRUE(manager->hasUnsavedClip());

    state->changeOptions([](SyntheticOptions& o) { o.startError.reset(); });
    start();
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
    EXPECT_FALSE(manager->hasUnsavedClip());
    EXPECT_EQ(changes.count(), 2);
    stop();
}

// A loss told while the start is still on its way is not missed once buffering; the note goes
// when the sound is back.
TEST_F(RecordingManagerTest, LostAudioIsNamedInTheStatusUntilItIsBack) {
    SyntheticOptions options = desktop();
    options.audioLostAtStart =
        Error(QStringLiteral("Could not connect to the audio server: Connection refused"));
    make(options);
    start();
    const RecordingStatus lost = RecordingStatus::buffering(
        QStringLiteral("no system audio: could not connect to the audio server: Connection refused"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->status() == lost; }, 2000))
        << manager->status().note().toStdString();
    SyntheticAudioSource* sound = state->lastAudio();
    sound->changeAudio(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->status() == RecordingStatus::buffering(); }, 2000));
    sound->changeAudio(Error(QStringLiteral("PulseAudio is not answering.")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager->status().note().isEmpty(); }, 2000));
    EXPECT_EQ(manager->status().note(), QStringLiteral("no system audio: PulseAudio is not answering"));
    stop();
}

TEST_F(RecordingManagerTest, PropertiesNotifyByTheirRules) {
    make();
    QSignalSpy targetSpy(manager.get(), &RecordingManager::captureTargetChanged);
    QSignalSpy infoSpy(manager.get(), &RecordingManager::selectedWindowInfoChanged);

    manager->setStatus(RecordingStatus::idle());
    EXPECT_TRUE(statuses.empty()) << "an equal status does not notify";

    Window window;
    window.windowID = 9;
    window.frame = QRectF(0, 0, 640, 480);
    const auto windowTarget = CaptureTarget::window(ContentFilter::window(window));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Editor"), QStringLiteral("gedit"), window.frame, 9, true});
    manager->setCaptureTarget(windowTarget);
    manager->setCaptureTarget(windowTarget);
    EXPECT_EQ(targetSpy.count(), 2) << "the target notifies on every assignment";
    EXPECT_TRUE(manager->selectedWindowInfo()) << "a window target keeps the picked window's info";

    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 10, 10), display(1, QStringLiteral("VIRT-1"))));
    EXPECT_FALSE(manager->selectedWindowInfo());
    EXPECT_EQ(infoSpy.count(), 2);
}

// Each option is read when the settings are made and stored on every assignment, also of the value
// held (which another instance may have stored over); only a change notifies.
TEST(RecorderSettings, OptionsAreStoredOnEveryAssignmentAndNotifyOfChanges) {
    const std::tuple<const char*, QVariant, QVariant> options[] = {
        {"muteNotifications", true, false},
        {"askWhereToSave", true, false},
        {"freshBufferAfterSave", true, false},
        {"clipFolder", QStringLiteral("/tmp/clips"), QString()},
        {"memoryLimit", QVariant::fromValue(MemoryLimit(1)), QVariant::fromValue(MemoryLimit(2))}};
    const QMetaObject& meta = RecorderSettings::staticMetaObject;
    for (const auto& [name, one, another] : options) {
        SCOPED_TRACE(name);
        RecorderSettings settings;
        RecorderSettings other;
        const QVariant value = settings.property(name) == one ? another : one;
        QSignalSpy changed(&settings, meta.property(meta.indexOfProperty(name)).notifySignal());
        ASSERT_TRUE(settings.setProperty(name, value) && settings.setProperty(name, value));
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(RecorderSettings().property(name), value);
        other.setProperty(name, other.property(name));
        EXPECT_EQ(RecorderSettings().property(name), other.property(name));
    }
}

TEST_F(RecordingManagerTest, RefreshDisplaysFillsTheListAndTheMainDisplay) {
    make();
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 2u);
    ASSERT_TRUE(manager->captureTarget().asDisplay()->display);
    EXPECT_EQ(manager->captureTarget().asDisplay()->display->displayID, 2u);

    QSignalSpy targetSpy(manager.get(), &RecordingManager::captureTargetChanged);
    state->changeOptions([](SyntheticOptions& o) { o.content.displays.pop_back(); });
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 1u);
    EXPECT_EQ(targetSpy.count(), 0) << "a target with a display is left alone";

    state->changeOptions([](SyntheticOptions& o) { o.contentError = CaptureError::failed("no"); });
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 1u);
}
