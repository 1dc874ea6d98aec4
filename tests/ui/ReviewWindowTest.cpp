// Review… on the X11 desktop, from the screen to the file: a moving picture and a tone, the real
// capture, encoder, stores, decoder, writer and save flow, the window driven by its keys.

#include "export/ReviewRules.h"
#include "support/DesktopRecorder.h"
#include "support/FfmpegTestMedia.h"
#include "support/ToneAnalysis.h"
#include "ui/ReviewWindow.h"

#include <QSignalSpy>

using namespace backreel;
using namespace std::chrono_literals;

// The window shows thumbnails and the picture under the playhead, plays, and saves exactly the
// selection: from the key frame at or before the in point to the out point, the tone where it was
// heard, decoding cleanly; buffering goes on meanwhile.
TEST(ReviewWindow, SavesTheSelectionFromAKeyFrameToTheOutPointInStepWithItsSound) {
    BACKREEL_REQUIRE_DESKTOP("ffplay", "ffprobe", "ffmpeg");
    test::ChildProcess picture;
    ASSERT_TRUE(picture.start({"ffplay", "-loglevel", "quiet", "-an", "-f", "lavfi", "-i",
                               "testsrc2=size=640x360:rate=30", "-left", "0", "-top", "0"}));
    test::DesktopRecorder recorder;
    ASSERT_NO_FATAL_FAILURE(recorder.start(QRectF(0, 0, 640, 360)));
    ASSERT_NO_FATAL_FAILURE(recorder.waitForBuffered(1.5));
    const std::optional<std::int64_t> played = test::playToneNow();
    ASSERT_TRUE(played);
    ASSERT_NO_FATAL_FAILURE(recorder.waitForBuffered(4.0));

    std::optional<ReviewSnapshot> snapshot = recorder.manager.reviewSnapshot();
    ASSERT_TRUE(snapshot && snapshot->video.size() > 60);
    const std::vector<VideoPacket> video = snapshot->video;
    auto* window = new ReviewWindow(std::move(*snapshot), recorder.manager, recorder.platform.pictureDecoders,
                                    nullptr);
    QSignalSpy thumbnails(window, &ReviewWindow::thumbnailShown);
    QSignalSpy shown(window, &ReviewWindow::pictureShown);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !thumbnails.empty() && !shown.empty(); }, 5000));
    EXPECT_EQ(window->position(), video.size() - 1) << "it opens on the newest picture";

    // Playing moves the playhead on; Space pauses.
    window->setPosition(0);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->position() >= 10; }, 3000));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_FALSE(window->playing());

    // In: a picture that is no key frame, half a second before the tone; the point goes back to
    // the key frame at or before it. Out: a second and a bit later, on that very picture.
    const MediaTime tone = MediaTime(*played, test::kToneRate);
    std::size_t in = pictureAt(video, tone - MediaTime(1, 2));
    in += video[in].keyFrame ? 1U : 0U;
    window->setPosition(in);
    QTest::keyClick(window, Qt::Key_I);
    const std::size_t key = keyFrameAtOrBefore(video, in);
    ASSERT_EQ(window->selection().in, key);
    ASSERT_TRUE(video[key].keyFrame && key < in);
    window->setPosition(pictureAt(video, tone + MediaTime(1, 1)));
    QTest::keyClick(window, Qt::Key_Left);
    QTest::keyClick(window, Qt::Key_O);
    const std::size_t out = window->selection().out;
    EXPECT_EQ(out, pictureAt(video, tone + MediaTime(1, 1)) - 1);

    QSignalSpy saved(&recorder.manager, &RecordingManager::clipSaved);
    QTest::keyClick(window, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !saved.empty(); }, 20000))
        << recorder.manager.lastClipOutcome().message().toStdString();
    EXPECT_TRUE(recorder.manager.status().is(RecordingStatus::Kind::buffering));
    ASSERT_EQ(recorder.saveFlow->clips.size(), 1U);
    const Clip& clip = recorder.saveFlow->clips[0];
    EXPECT_EQ(clip.startPTS, video[key].presentationTime);
    EXPECT_EQ(clip.endPTS, video[out].presentationTime);
    EXPECT_EQ(clip.video.size(), out - key + 1);

    const QString path = saved[0][0].toString();
    EXPECT_EQ(test::decodeErrors(path), "");
    // The tone starts where it was played, within 20 ms.
    const std::vector<float> sound = test::decodeAudio(path);
    const std::size_t loud = test::firstLoud(sound, 0.1f);
    ASSERT_LT(loud, sound.size()) << "the tone is in the movie";
    const double expected = (tone - clip.startPTS).seconds();
    EXPECT_NEAR(static_cast<double>(loud) / test::kToneRate, expected, 0.02);
}
