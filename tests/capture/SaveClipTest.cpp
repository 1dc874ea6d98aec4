// Save Clip over the synthetic platform: clips cut when asked and written in turn while buffering
// goes on, with a fresh buffer, the dialog and a failure; the lengths it takes.

#include "capture/RecorderFixture.h"

static double seconds(const Clip& clip) {
    return (clip.endPTS - clip.startPTS).seconds();
}

// A marker is the newest picture's moment; the clips that hold it carry it. Saving around it waits
// for the seconds after it and starts on the key frame at or before the seconds before it, which a
// 10 s buffer no longer holds by then.
TEST_F(RecordingManagerTest, MarkersGoWithTheirClipsAndASaveAroundOneWaitsForWhatFollows) {
    make(desktop(true));
    settings->setAskWhereToSave(false);
    manager->setBufferDuration(RecordingDuration::tenSeconds);
    EXPECT_FALSE(manager->mark(QStringLiteral("too early"))) << "not buffering";
    start();
    EXPECT_FALSE(manager->mark(QString())) << "no picture yet: no clip could hold it";
    deliver(240); // 8 s
    const std::optional<Marker> marker = manager->mark(QStringLiteral("here"));
    ASSERT_TRUE(marker);
    EXPECT_NEAR(marker->at.seconds(), 100 + 239 / 30.0, 1e-3);
    QCoro::Task<> around = manager->saveAroundMark(6s);
    // The buffer trims from here on: waited for by the newest picture, not by the count.
    deliver(150, false);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return manager->session()->videoStore().newestTime().seconds() > 100 + 388 / 30.0; }, 5000));
    EXPECT_TRUE(saveFlow->clips.empty()) << "the seconds after the marker are not buffered yet";
    deliver(40, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveFlow->clips.size() == 1u; }, 5000));
    const Clip& clip = saveFlow->clips[0];
    EXPECT_TRUE(clip.video.front().keyFrame);
    EXPECT_LE(clip.startPTS, marker->at - MediaTime(6, 1));
    EXPECT_GT(clip.startPTS, marker->at - MediaTime(13, 2)) << "from the key frame at or before";
    EXPECT_NEAR((clip.endPTS - marker->at).seconds(), 6.0, 1 / 30.0);
    EXPECT_EQ(clip.markers, std::vector<Marker>{*marker});
    QCoro::waitFor(manager->saveClip(1s));
    ASSERT_EQ(saveFlow->clips.size(), 2u);
    EXPECT_TRUE(saveFlow->clips[1].markers.empty()) << "the last second holds no marker";
}

// Each clip is what the buffer held when it was asked for, whatever waits before it; the second
// and third wait for the first, none is dropped, and the count of clips being saved follows.
// Buffering goes on all the while; each saved clip is announced with its length.
TEST_F(RecordingManagerTest, SaveClipCutsWhenAskedAndWritesInTurnWhileBufferingGoesOn) {
    make(desktop(true));
    settings->setAskWhereToSave(false);
    settings->setFreshBufferAfterSave(false);
    manager->setBufferDuration(RecordingDuration::thirtySeconds);
    saveFlow->held = true;
    start();
    QSignalSpy saved(manager.get(), &RecordingManager::clipSaved);
    deliver(90); // 3 s
    QCoro::Task<> first = manager->saveClip(1s);
    deliver(30);
    QCoro::Task<> second = manager->saveClip();
    deliver(30);
    QCoro::Task<> third = manager->saveClip(60s);
    EXPECT_EQ(manager->clipSavesPending(), 3);
    ASSERT_EQ(saveFlow->clips.size(), 1u) << "one save at a time";
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveFlow->clips.size() == 2u; }, 5000));
    EXPECT_EQ(manager->clipSavesPending(), 2);
    saveFlow->open();
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->clipSavesPending() == 0; }, 5000));

    const std::vector<Clip>& clips = saveFlow->clips;
    ASSERT_EQ(clips.size(), 3u);
    // Asked at 2.967 s, 3.967 s and 4.967 s of frames: each ends with the newest frame of its moment.
    for (std::size_t i = 0; i < clips.size(); ++i) {
        EXPECT_TRUE(clips[i].video.front().keyFrame);
        EXPECT_NEAR(clips[i].endPTS.seconds(), 100 + static_cast<double>(89 + 30 * i) / 30.0, 1e-3);
    }
    // 1 s from the key frame at or before; the whole buffer for the chosen 30 s and for 60 s,
    // which is more than the buffer's duration.
    EXPECT_GE(seconds(clips[0]), 1.0);
    EXPECT_LT(seconds(clips[0]), 1.5);
    EXPECT_NEAR(seconds(clips[1]), 119 / 30.0, 1e-3);
    EXPECT_NEAR(seconds(clips[2]), 149 / 30.0, 1e-3);
    EXPECT_FALSE(clips[0].audio.empty());

    EXPECT_TRUE(manager->status().is(RecordingStatus::Kind::buffering));
    EXPECT_EQ(manager->session()->videoStore().count(), 150u) << "the buffer was never emptied";
    ASSERT_EQ(saved.size(), 3);
    EXPECT_NEAR(saved[0][1].toDouble(), seconds(clips[0]) + 1 / 30.0, 1e-3) << "to the end of the last frame";
    for (const SaveRequest& request : saveFlow->requests) {
        EXPECT_EQ(request.folder, settings->effectiveClipFolder());
        EXPECT_FALSE(request.reveal);
    }
}

// With "Start a fresh buffer after each save" the stores are empty after the cut: the next clip
// starts after the last one ended. "Ask where to save" hands the save to the dialog. A failed save
// is announced and its clip kept for Save Again, buffering going on; once not buffering there is
// nothing to cut.
TEST_F(RecordingManagerTest, SaveClipWithAFreshBufferTheDialogAndAFailure) {
    make(desktop(true));
    QSignalSpy failed(manager.get(), &RecordingManager::saveFailed);
    settings->setFreshBufferAfterSave(true);
    settings->setAskWhereToSave(true);
    saveFlow->held = true;
    start();
    deliver(60);
    QCoro::Task<> first = manager->saveClip();
    EXPECT_EQ(manager->session()->videoStore().count(), 0u);
    deliver(60);
    QCoro::Task<> second = manager->saveClip();
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveFlow->clips.size() == 2u; }, 5000));
    const RecordingStatus readOnly =
        RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."));
    saveFlow->outcome = readOnly;
    saveFlow->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager->clipSavesPending() == 0; }, 5000));

    EXPECT_LT(saveFlow->clips[0].endPTS, saveFlow->clips[1].startPTS) << "fresh buffers do not overlap";
    EXPECT_FALSE(saveFlow->requests[0].folder) << "the dialog asks";
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][0].toString(), readOnly.message());
    EXPECT_EQ(manager->lastClipOutcome(), readOnly);
    ASSERT_EQ(manager->unsavedClips().size(), 1u);
    EXPECT_EQ(manager->unsavedClips()[0].offer, UnsavedClipOffer::saveAgain);
    EXPECT_TRUE(manager->status().is(RecordingStatus::Kind::buffering));

    deliver(30);
    saveFlow->held = false;
    stop();
    QCoro::waitFor(manager->saveClip());
    EXPECT_EQ(saveFlow->clips.size(), 3u) << "only Stop & Save's clip";
}

// Save Clip's length: the buffer's duration where none is asked for (or 0, as D-Bus and the
// command line send it), and never more.
TEST(SaveClipLengths, TheAskedSecondsUpToTheBuffersDuration) {
    const std::pair<std::optional<std::chrono::seconds>, double> rows[] = {
        {std::nullopt, 60}, {0s, 60}, {10s, 10}, {180s, 60}};
    for (const auto& [asked, seconds] : rows) {
        EXPECT_EQ(clipLengthSeconds(asked, RecordingDuration::oneMinute), seconds);
    }
}
