// Save Clip on the synthetic platform, where the test hands in every frame: clips are cut at the
// moment of the request, queue behind one another, and count against the memory limit while they
// wait; and the plain rules for lengths.

#include "capture/MediaStores.h"
#include "capture/RecordingManager.h"
#include "support/LogCapture.h"
#include "support/Samples.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/synthetic/SyntheticPlatform.h"

#include <gtest/gtest.h>
#include <QCoroSignal>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

// A save flow whose saves end only when the test opens the gate, one save per opening (and one
// opening per turn of the event loop: a queued signal's awaiter takes one emission).
class GatedSaveFlow final : public QObject, public SaveFlow {
    Q_OBJECT

public:
    QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) override {
        clips.push_back(std::move(clip));
        requests.push_back(std::move(request));
        const int mine = static_cast<int>(clips.size());
        while (opened_ < mine) {
            auto opened = qCoro(this, &GatedSaveFlow::gateOpened);
            co_await opened;
        }
        const auto index = static_cast<std::size_t>(mine - 1);
        co_return index < outcomes.size()
            ? outcomes[index]
            : RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/c.mp4")));
    }
    void open() {
        ++opened_;
        emit gateOpened();
    }

    std::vector<Clip> clips;
    std::vector<SaveRequest> requests;
    std::vector<RecordingStatus> outcomes; // by save; saved for those past its end

signals:
    void gateOpened();

private:
    int opened_ = 0;
};

SyntheticOptions handDriven() {
    SyntheticOptions options;
    options.content.displays = {
        backreel::Display{1, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-1")}};
    options.mainDisplayID = 1;
    options.generateSamples = false;
    options.keyFrameInterval = 15; // a key frame every half second at 30 frames a second
    return options;
}

double seconds(const Clip& clip) {
    return (clip.endPTS - clip.startPTS).seconds();
}

} // namespace

class SaveClip : public ::testing::Test {
protected:
    void SetUp() override {
        settings->setAskWhereToSave(false);
        settings->setFreshBufferAfterSave(false);
        manager.setBufferDuration(RecordingDuration::thirtySeconds);
        QCoro::waitFor(manager.startRecording());
        ASSERT_TRUE(manager.status().is(RecordingStatus::Kind::buffering));
    }

    // `count` frames, 1/30 s apart, and 10 ms audio chunks over the same time, from the last ones on.
    void deliver(int count) {
        SyntheticVideoSource* stream = state->lastSource();
        SyntheticAudioSource* sound = state->lastAudio();
        // Counted before the frames go out: the store takes them on another thread.
        const std::size_t expected =
            manager.session()->videoStore().count() + static_cast<std::size_t>(count);
        for (int i = 0; i < count; ++i, ++frames_) {
            stream->deliverScreenFrame(MediaTime::makeWithSeconds(100 + frames_ / 30.0, kTimeScale));
        }
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return manager.session()->videoStore().count() >= expected; }, 5000));
        const std::size_t chunks = manager.session()->audioStore().count();
        const int first = chunks_;
        for (; chunks_ * 0.01 < frames_ / 30.0; ++chunks_) {
            sound->deliverAudio(MediaTime::makeWithSeconds(100 + chunks_ * 0.01, kTimeScale));
        }
        const std::size_t expectedChunks = chunks + static_cast<std::size_t>(chunks_ - first);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return manager.session()->audioStore().count() >= expectedChunks; }, 5000));
    }

    test::LogCapture log;
    std::shared_ptr<SyntheticState> state = std::make_shared<SyntheticState>(handDriven());
    std::shared_ptr<GatedSaveFlow> saveFlow = std::make_shared<GatedSaveFlow>();
    std::shared_ptr<RecorderSettings> settings = std::make_shared<RecorderSettings>();
    RecordingManager manager{makeSyntheticPlatform(state), saveFlow, settings};
    int frames_ = 0;
    int chunks_ = 0;
};

// Each clip is what the buffer held when it was asked for, whatever waits before it; the second
// and third wait for the first, none is dropped, and the count of clips being saved follows.
// Buffering goes on all the while; each saved clip is announced with its length.
TEST_F(SaveClip, ClipsAreCutWhenAskedForAndWrittenInTurnWhileBufferingGoesOn) {
    QSignalSpy saved(&manager, &RecordingManager::clipSaved);
    deliver(90); // 3 s
    QCoro::Task<> first = manager.saveClip(1s);
    deliver(30);
    QCoro::Task<> second = manager.saveClip();
    deliver(30);
    QCoro::Task<> third = manager.saveClip(60s);
    EXPECT_EQ(manager.clipSavesPending(), 3);
    ASSERT_EQ(saveFlow->clips.size(), 1u) << "one save at a time";

    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveFlow->clips.size() == 2u; }, 5000));
    EXPECT_EQ(manager.clipSavesPending(), 2);
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveFlow->clips.size() == 3u; }, 5000));
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.clipSavesPending() == 0; }, 5000));

    const std::vector<Clip>& clips = saveFlow->clips;
    for (const Clip& clip : clips) {
        EXPECT_TRUE(clip.video.front().keyFrame);
    }
    // Asked at 2.967 s, 3.967 s and 4.967 s of frames: each ends with the newest frame of its moment.
    EXPECT_NEAR(clips[0].endPTS.seconds(), 100 + 89 / 30.0, 1e-3);
    EXPECT_NEAR(clips[1].endPTS.seconds(), 100 + 119 / 30.0, 1e-3);
    EXPECT_NEAR(clips[2].endPTS.seconds(), 100 + 149 / 30.0, 1e-3);
    // 1 s from the key frame at or before; the whole buffer for the chosen 30 s and for 60 s,
    // which is more than the buffer's duration.
    EXPECT_GE(seconds(clips[0]), 1.0);
    EXPECT_LT(seconds(clips[0]), 1.5);
    EXPECT_NEAR(seconds(clips[1]), 119 / 30.0, 1e-3);
    EXPECT_NEAR(seconds(clips[2]), 149 / 30.0, 1e-3);
    EXPECT_FALSE(clips[0].audio.empty());

    EXPECT_TRUE(manager.status().is(RecordingStatus::Kind::buffering));
    EXPECT_EQ(manager.session()->videoStore().count(), 150u) << "the buffer was never emptied";
    ASSERT_EQ(saved.size(), 3);
    EXPECT_NEAR(saved[0][1].toDouble(), seconds(clips[0]) + 1 / 30.0, 1e-3) << "to the end of the last frame";
    for (const SaveRequest& request : saveFlow->requests) {
        EXPECT_EQ(request.folder, settings->effectiveClipFolder());
        EXPECT_FALSE(request.reveal);
    }
}

// With "Start a fresh buffer after each save" the stores are empty after the cut: the next clip
// starts after the last one ended. "Ask where to save" hands the save to the dialog. A failed save
// is announced and its clip kept for Save Again.
TEST_F(SaveClip, AFreshBufferAfterEachSaveTheDialogWhenAskedAndAFailureKeepsTheClip) {
    QSignalSpy failed(&manager, &RecordingManager::saveFailed);
    settings->setFreshBufferAfterSave(true);
    settings->setAskWhereToSave(true);
    saveFlow->outcomes = {RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))),
                          RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."))};
    deliver(60);
    QCoro::Task<> first = manager.saveClip();
    EXPECT_EQ(manager.session()->videoStore().count(), 0u);
    deliver(60);
    QCoro::Task<> second = manager.saveClip();
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveFlow->clips.size() == 2u; }, 5000));
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.clipSavesPending() == 0; }, 5000));

    ASSERT_EQ(saveFlow->clips.size(), 2u);
    EXPECT_LT(saveFlow->clips[0].endPTS, saveFlow->clips[1].startPTS) << "fresh buffers do not overlap";
    EXPECT_FALSE(saveFlow->requests[0].folder) << "the dialog asks";
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][0].toString(), QStringLiteral("Save failed: the folder is read-only."));
    EXPECT_EQ(manager.lastClipOutcome(), saveFlow->outcomes[1]);
    EXPECT_EQ(manager.unsavedClipOffer(), UnsavedClipOffer::saveAgain);
    EXPECT_TRUE(manager.status().is(RecordingStatus::Kind::buffering))
        << "a failed clip does not end buffering";

    // Not buffering: nothing to cut.
    deliver(30);
    saveFlow->open();
    QCoro::waitFor(manager.stopAndSave());
    QCoro::waitFor(manager.saveClip());
    EXPECT_EQ(saveFlow->clips.size(), 3u) << "only Stop & Save's clip";
}

// A clip waiting for its save keeps bytes the stores have let go: they count against the limit, so
// the stores keep less meanwhile, and the room comes back when the clip is written.
TEST(SaveClipMemory, HeldClipsCountAgainstTheLimitUntilLetGo) {
    const std::size_t packetBytes = 1000;
    auto stores = MediaStores::create(60, MemoryLimit(10 * packetBytes), Logger::recording());
    int next = 0;
    const auto append = [&](int count) {
        for (int i = 0; i < count; ++i, ++next) {
            stores->appendVideo(test::videoPacket(next / 30.0, true, packetBytes));
        }
    };
    append(4);
    BufferedMedia cut = stores->cut(StoresAfterCut::keep);
    std::shared_ptr<void> held = stores->holdClip(cut.video, cut.audio);
    append(6);
    EXPECT_EQ(stores->video()->count(), 10u);
    EXPECT_EQ(stores->heldOutsideBytes(), 0u) << "all of the clip is still in the store";
    append(5);
    EXPECT_EQ(stores->heldOutsideBytes(), 4 * packetBytes);
    EXPECT_EQ(stores->video()->count(), 6u) << "the clip's four frames and the store's six fill the limit";
    held.reset();
    append(4);
    EXPECT_EQ(stores->video()->count(), 10u) << "the room came back";

    // A fresh buffer: the cut empties the stores, and the held clip is all outside them.
    cut = stores->cut(StoresAfterCut::empty);
    held = stores->holdClip(cut.video, cut.audio);
    EXPECT_EQ(stores->video()->count(), 0u);
    EXPECT_EQ(stores->heldOutsideBytes(), 10 * packetBytes);
    append(1);
    EXPECT_EQ(stores->video()->count(), 1u) << "a clip of the whole limit leaves room for the newest only";
    stores.reset();
    held.reset(); // outlives the stores harmlessly
}

TEST(SaveClipLengths, AskedLengthsUpToTheBufferAndTheSaveLastMenu) {
    EXPECT_EQ(clipLengthSeconds(std::nullopt, RecordingDuration::oneMinute), 60.0);
    EXPECT_EQ(clipLengthSeconds(0s, RecordingDuration::oneMinute), 60.0);
    EXPECT_EQ(clipLengthSeconds(10s, RecordingDuration::oneMinute), 10.0);
    EXPECT_EQ(clipLengthSeconds(180s, RecordingDuration::oneMinute), 60.0);
    const std::vector<RecordingDuration> lengths = saveLastLengths(RecordingDuration::oneMinute);
    EXPECT_EQ(lengths,
              (std::vector<RecordingDuration>{RecordingDuration::tenSeconds, RecordingDuration::thirtySeconds,
                                              RecordingDuration::oneMinute}));
    EXPECT_EQ(saveLastLengths(RecordingDuration::tenSeconds).size(), 1u);
}

#include "SaveClipTest.moc"
