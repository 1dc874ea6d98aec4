// Start, Stop & Save, failed starts, the status line's notes and the clips kept for a second try.

#include "capture/RecorderFixture.h"

using Kind = RecordingStatus::Kind;

// The main display without our application; a second start does nothing; the stop saves and ends.
TEST_F(RecordingManagerTest, RealTimeBufferingIsSavedAsAClipStartingOnAKeyFrame) {
    make();
    start();
    ASSERT_EQ(manager->status(), RecordingStatus::buffering());
    const SyntheticVideoSource* stream = state->lastSource();
    EXPECT_EQ(stream->filter().displayContent()->display.displayID, 2u);
    EXPECT_EQ(stream->filter().displayContent()->excludedApplications.size(), 1u);
    state->clearJournal();
    start();
    EXPECT_TRUE(state->journal().empty());

    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::min(manager->session()->videoStore().count(),
                            manager->session()->audioStore().count()) >= 20;
        },
        5000));
    stop();
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    EXPECT_TRUE(clip.video.size() >= 10u && clip.video.front().keyFrame && !clip.audio.empty());
    EXPECT_EQ(statuses, (std::vector{Kind::buffering, Kind::saving, Kind::saved}));
    EXPECT_EQ(manager->session(), nullptr) << "the recording ends with the save";
}

TEST_F(RecordingManagerTest, StopCompletesTheEncoderBeforeCuttingTheClip) {
    SyntheticOptions options = desktop(true);
    options.encodeLatencyMicroseconds = 3000; // frames still in the encoder when the stop begins
    make(options);
    start();
    deliver(45, false);
    stop();
    // Every frame given before the stop reached the clip, with the audio around it.
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    EXPECT_TRUE(saveFlow->clips.front().video.size() == 45u && saveFlow->clips.front().audio.size() == 150u);
    const std::vector<std::string> order{"stopCapture", "finish", "close", "save"};
    EXPECT_EQ(journal(order), order);
}

TEST_F(RecordingManagerTest, ShortRecordingsEndWithTheirMessageAndACancelledSaveWithIdle) {
    for (const auto& [frames, message] :
         {std::pair{0, "No frames were captured."}, std::pair{1, "Recording too short — try again."}}) {
        make(desktop(true));
        start();
        deliver(frames);
        stop();
        EXPECT_EQ(manager->status(), RecordingStatus::error(QString::fromUtf8(message)));
        EXPECT_TRUE(saveFlow->clips.empty());
    }

    make(desktop(true));
    saveFlow->outcome = RecordingStatus::idle();
    start();
    deliver(20);
    stop();
    EXPECT_EQ(manager->status(), RecordingStatus::idle());
    EXPECT_EQ(manager->unsavedClips().size(), 1u) << "a cancelled clip is still offered";
    EXPECT_EQ(manager->unsavedClipsToAskAbout(), 0) << "but quitting need not ask about it";
    state->clearJournal();
    stop();
    EXPECT_TRUE(state->journal().empty()) << "a second stop does nothing";
}

// Each failure ends the start at its step, before the platform call that would follow (the encoder
// opens before the stream is made), and never with our mute, which comes with buffering.
TEST_F(RecordingManagerTest, EveryFailedStartShowsItsReasonAndTheNextStartWorks) {
    const auto with = [](auto SyntheticOptions::*field, auto value) {
        SyntheticOptions options = desktop();
        options.*field = value;
        return options;
    };
    const QString x264 = QStringLiteral("libx264 cannot encode 100000×100000 pictures");
    const std::tuple<SyntheticOptions, QString, const char*> cases[] = {
        {with(&SyntheticOptions::contentError, CaptureError::failed("Cannot connect to :9.")),
         QStringLiteral("Cannot connect to :9."), "createStream"},
        {with(&SyntheticOptions::contentError, CaptureError::failed("")),
         RecordingManager::kContentUnavailableMessage, "createStream"},
        {with(&SyntheticOptions::contentError, CaptureError{CaptureError::Kind::cancelled, {}}), QString(),
         "createStream"}, // a cancelled dialog: ready again
        {with(&SyntheticOptions::content, ShareableContent{}), QStringLiteral("No display found."),
         "createStream"},
        {with(&SyntheticOptions::openError, EncoderError{EncoderError::Kind::unsupportedSize, x264}),
         QStringLiteral("Failed to create compression session (%1).").arg(x264), "createStream"},
        {with(&SyntheticOptions::startError, CaptureError::failed("MIT-SHM is not available")),
         QStringLiteral("MIT-SHM is not available"), "mute"},
    };
    for (const auto& [options, message, notReached] : cases) {
        SCOPED_TRACE(message.toStdString());
        make(options);
        settings->setMuteNotifications(true);
        start();
        EXPECT_EQ(manager->status(),
                  message.isEmpty() ? RecordingStatus::idle() : RecordingStatus::error(message));
        EXPECT_EQ(manager->session(), nullptr);
        EXPECT_TRUE(journal({notReached, "mute"}).empty()) << "never buffering";

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
    const std::vector<std::string> order{"startCapture", "mute", "unmute", "stopCapture"};
    EXPECT_EQ(journal(order), order);
    // Switched off while buffering: the stop still lifts our mute; then nothing is muted.
    for (const std::size_t entries : {2u, 0u}) {
        state->clearJournal();
        start();
        settings->setMuteNotifications(false);
        stop();
        EXPECT_EQ(journal({"mute", "unmute"}).size(), entries);
    }
}

// What the source buffered is offered, through the next recording; a single frame is no clip.
TEST_F(RecordingManagerTest, ASourceEndingByItselfShowsTheReasonAndOffersWhatWasBuffered) {
    make(desktop(true));
    settings->setMuteNotifications(true);
    start();
    deliver(20);
    state->lastSource()->failWithError(QStringLiteral("The display went away."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->hasUnsavedClip(); }, 2000));
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("The display went away.")));
    EXPECT_EQ(manager->unsavedClips().at(0).offer, UnsavedClipOffer::saveWhatWasBuffered);
    EXPECT_EQ(manager->session(), nullptr);
    EXPECT_EQ(journal({"mute", "unmute", "stopCapture"}),
              (std::vector<std::string>{"mute", "unmute", "stopCapture"}));

    start();
    ASSERT_EQ(manager->status(), RecordingStatus::buffering());
    deliver(1);
    state->clearJournal();
    state->lastSource()->failWithError(QStringLiteral("Gone."));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return manager->session() == nullptr && !journal({"close"}).empty(); }, 2000));
    EXPECT_EQ(manager->status(), RecordingStatus::error(QStringLiteral("Gone.")));
    EXPECT_EQ(manager->unsavedClips().size(), 1u);
}

// Every failed save keeps its clip, through failed starts and cancelled retries, until a retry writes
// it or it is discarded; what they hold comes off the next recording's memory limit.
TEST_F(RecordingManagerTest, FailedSavesKeepEveryClipUntilSavedOrDiscarded) {
    make(desktop(true));
    const RecordingStatus failed =
        RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."));
    saveFlow->outcome = failed;
    for (const int frames : {20, 30}) {
        start();
        deliver(frames);
        stop();
    }
    EXPECT_EQ(manager->status(), failed);
    ASSERT_EQ(manager->unsavedClipsToAskAbout(), 2);
    const UnsavedClipInfo first = manager->unsavedClips().at(0);
    EXPECT_EQ(first.offer, UnsavedClipOffer::saveAgain);
    EXPECT_NEAR(first.seconds, 20 / 30.0, 1e-6);

    state->changeOptions([](SyntheticOptions& o) { o.startError = CaptureError::failed("No SHM"); });
    start();
    const RecordingStatus startFailed = RecordingStatus::error(QStringLiteral("No SHM"));
    EXPECT_EQ(manager->status(), startFailed);
    saveFlow->outcome = RecordingStatus::idle();
    QCoro::waitFor(manager->saveAgain(first.id));
    EXPECT_EQ(manager->status(), startFailed);
    EXPECT_EQ(manager->unsavedClips().size(), 2u);
    saveFlow->outcome = RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/again.mp4")));
    QCoro::waitFor(manager->saveAgain(first.id));
    EXPECT_EQ(manager->status(), saveFlow->outcome);
    ASSERT_EQ(manager->unsavedClips().size(), 1u);
    EXPECT_NE(manager->unsavedClips()[0].id, first.id);
    ASSERT_EQ(saveFlow->clips.size(), 4u);
    EXPECT_TRUE(saveFlow->clips[3].video.size() == 20u &&
                saveFlow->clips[3].startPTS == saveFlow->clips[0].startPTS);

    settings->setMemoryLimit(MemoryLimit(512 * MemoryLimit::kMebibyte));
    state->changeOptions([](SyntheticOptions& o) { o.startError.reset(); });
    start();
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
    ASSERT_EQ(manager->unsavedClips().size(), 1u) << "a recording that runs keeps it";
    EXPECT_LT(manager->session()->stores().limit().bytes(), 512 * MemoryLimit::kMebibyte);
    stop();
    manager->discardUnsavedClip(manager->unsavedClips()[0].id);
    EXPECT_FALSE(manager->hasUnsavedClip());
}

TEST_F(RecordingManagerTest, AMemoryLimitKeepsTheNewestSecondsAndSaysSo) {
    SyntheticOptions options = desktop(); // in real time
    options.packetBytes = 30'000;         // 900 kB of video a second beside 384 kB of audio
    make(options);
    settings->setMemoryLimit(MemoryLimit(1'200'000));
    start();
    // Within a second of the first trim; the limit holds less than a second.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager->status().note().isEmpty(); }, 4500));
    const QString note = manager->status().note();
    EXPECT_TRUE(note == memoryLimitNote(0) || note == memoryLimitNote(1)) << note.toStdString();
    stop();
    start();
    EXPECT_EQ(manager->status(), RecordingStatus::buffering());
    stop();
}

TEST_F(RecordingManagerTest, LostAudioIsNamedInTheStatusUntilItIsBack) {
    SyntheticOptions options = desktop();
    options.audioLostAtStart =
        Error(QStringLiteral("Could not connect to the audio server: Connection refused"));
    make(options);
    start();
    const QString lost =
        QStringLiteral("no system audio: could not connect to the audio server: Connection refused");
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->status() == RecordingStatus::buffering(lost); }, 2000))
        << manager->status().note().toStdString();
    SyntheticAudioSource* sound = state->lastAudio();
    sound->changeAudio(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->status() == RecordingStatus::buffering(); }, 2000));
    sound->changeAudio(Error(QStringLiteral("PulseAudio is not answering.")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager->status().note().isEmpty(); }, 2000));
    EXPECT_EQ(manager->status().note(), QStringLiteral("no system audio: PulseAudio is not answering"));
    // Told again, the same loss changes nothing: the status line does not flicker.
    const std::size_t notified = statuses.size();
    sound->changeAudio(Error(QStringLiteral("PulseAudio is not answering.")));
    QTest::qWait(200);
    EXPECT_EQ(statuses.size(), notified);
    stop();
}

TEST_F(RecordingManagerTest, RefreshDisplaysFillsTheListAndTheMainDisplay) {
    make();
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 2u);
    EXPECT_EQ(manager->captureTarget(), CaptureTarget::display(test::display(2)));
    QSignalSpy targetSpy(manager.get(), &RecordingManager::captureTargetChanged);
    // A display gone leaves the list; a failed listing keeps it as it was.
    state->changeOptions([](SyntheticOptions& o) { o.content.displays.pop_back(); });
    QCoro::waitFor(manager->refreshDisplays());
    state->changeOptions([](SyntheticOptions& o) { o.contentError = CaptureError::failed("no"); });
    QCoro::waitFor(manager->refreshDisplays());
    EXPECT_EQ(manager->availableDisplays().size(), 1u);
    EXPECT_EQ(targetSpy.count(), 0);
}

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
