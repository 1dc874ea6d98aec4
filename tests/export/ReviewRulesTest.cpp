#include "export/ReviewRules.h"

#include "export/MovieWriter.h"
#include "support/Samples.h"

#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::test;

// 100.0 s to 101.0 s at 10 fps (each picture 1/30 s long, as Samples makes them), key frames at
// 100.2 and 100.7: none at the start, as in a buffer whose oldest key frame was dropped.
static std::vector<VideoPacket> pictures() {
    std::vector<VideoPacket> video;
    for (int i = 0; i <= 10; ++i) {
        video.push_back(videoPacket(100.0 + i / 10.0, i == 2 || i == 7));
    }
    return video;
}

static MediaTime at(double seconds) {
    return MediaTime::makeWithSeconds(seconds, kTimeScale);
}

TEST(ReviewRules, PicturesAtTimesKeyFramesAndSteps) {
    const std::vector<VideoPacket> video = pictures();
    const std::tuple<double, std::size_t, std::size_t> rows[] = {
        // time, the picture there, its key frame
        {99.0, 0, 2},   // before the first picture: the first; no key frame before it: the first key frame
        {100.0, 0, 2},  //
        {100.25, 2, 2}, // within a picture: the one showing
        {100.69, 6, 2}, //
        {100.7, 7, 7},  // a key frame exactly
        {100.95, 9, 7}, //
        {105.0, 10, 7}, // after the last: the last
    };
    for (const auto& [time, picture, keyFrame] : rows) {
        EXPECT_EQ(pictureAt(video, at(time)), picture) << time;
        EXPECT_EQ(keyFrameAtOrBefore(video, picture), keyFrame) << time;
    }
    EXPECT_EQ(stepPicture(video, 0, -1), 0U);
    EXPECT_EQ(stepPicture(video, 5, 1), 6U);
    EXPECT_EQ(stepPicture(video, 10, 1), 10U);
    EXPECT_EQ(pictureAt({}, at(1)), 0U);
    EXPECT_EQ(keyFrameAtOrBefore({}, 3), 0U);
    EXPECT_NEAR((reviewEnd(video) - reviewStart(video)).seconds(), 1.0 + 1 / 30.0, 1e-6);

    EXPECT_EQ(thumbnailPictures(video, 4),
              (std::vector<std::size_t>{2, 2, 2, 7})); // middles 100.13, .39, .65, .90
    EXPECT_EQ(thumbnailPictures(video, 1), (std::vector<std::size_t>{2}));
    EXPECT_TRUE(thumbnailPictures({}, 4).empty());
    EXPECT_TRUE(thumbnailPictures(video, 0).empty());

    // The in point lands on a key frame and the out point on any picture; neither passes the other.
    const ReviewSelection whole = wholeSelection(video);
    EXPECT_EQ(whole, (ReviewSelection{2, 10}));
    const std::tuple<ReviewSelection, char, std::size_t, ReviewSelection> moves[] = {
        // before, point, at, after
        {whole, 'i', 5, {2, 10}},  // back to the key frame before
        {whole, 'i', 8, {7, 10}},  //
        {{2, 4}, 'i', 8, {7, 10}}, // an out point before the new in point moves to the end
        {whole, 'o', 5, {2, 5}},   // any picture
        {{7, 10}, 'o', 4, {2, 4}}, // an in point after the new out point moves back to a key frame
        {{7, 10}, 'o', 99, {7, 10}},
    };
    for (const auto& [before, point, picture, after] : moves) {
        EXPECT_EQ(point == 'i' ? withIn(video, before, picture) : withOut(video, before, picture), after)
            << point << picture;
    }
    // From the in picture's start to the out picture's end.
    EXPECT_NEAR(selectionLength(video, {2, 5}).seconds(), 0.3 + 1 / 30.0, 1e-6);
    EXPECT_EQ(selectionLength(video, {5, 2}), MediaTime::zero());
    EXPECT_EQ(selectionLength({}, {}), MediaTime::zero());
}

// Each column holds the loudest packet that touches its slice, of the asked origin only.
TEST(ReviewRules, TheWaveformAndTheSilentSecondsComeFromThePacketsPeaks) {
    const auto packet = [](double seconds, float peak, AudioOrigin origin = AudioOrigin::system) {
        AudioPacket made = audioAt(MediaTime::makeWithSeconds(seconds, kTimeScale), origin); // 21.3 ms
        made.peak = peak;
        return made;
    };
    // Over 0.1 s in 5 columns of 20 ms: one packet spans the second and third, one is past full
    // scale, the microphone's is not counted.
    const std::vector<AudioPacket> sound{packet(1.021, 0.75F), packet(1.085, 1.5F),
                                         packet(1.0, 0.9F, AudioOrigin::microphone)};
    EXPECT_EQ(waveformPeaks(sound, AudioOrigin::system, at(1.0), at(1.1), 5),
              (std::vector<float>{0.0F, 0.75F, 0.75F, 0.0F, 1.0F}));
    EXPECT_EQ(waveformPeaks(sound, AudioOrigin::system, at(2.0), at(2.0), 3), (std::vector<float>(3, 0.0F)));
    // The save's silent-audio line counts only packets made of pure zeros.
    const SilenceMeasure silence =
        measureSilence({packet(3.0, 0.0F), packet(3.1, 0.001F), packet(3.2, 0.0F)});
    EXPECT_DOUBLE_EQ(silence.silentSeconds, 2 * 1024 / 48000.0);
    EXPECT_DOUBLE_EQ(silence.totalSeconds, 3 * 1024 / 48000.0);

    EXPECT_EQ(reviewTimeText(at(0)), QStringLiteral("0:00.0"));
    EXPECT_EQ(reviewTimeText(at(65.34)), QStringLiteral("1:05.3"));
    EXPECT_EQ(reviewTimeText(at(179.96)), QStringLiteral("3:00.0"));
    EXPECT_EQ(reviewTimeText(at(-2)), QStringLiteral("0:00.0"));
}
