#include "export/ClipSelection.h"
#include "support/LogCapture.h"
#include "support/Samples.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace backreel;
using namespace backreel::test;

namespace {
// Video from `from` to `to` at 20 fps with a key frame every `keyEvery` seconds (0: never), as
// the encoder marks them.
std::vector<MediaSamplePtr> video(double from, double to, double keyEvery, double firstKey = -1) {
    std::vector<MediaSamplePtr> samples;
    const int frames = static_cast<int>(std::lround((to - from) * 20));
    for (int i = 0; i <= frames; ++i) {
        const double t = from + i / 20.0;
        const double sinceFirst = t - (firstKey < 0 ? from : firstKey);
        const bool key = keyEvery > 0 && sinceFirst > -1e-9 &&
                         std::fabs(sinceFirst / keyEvery - std::round(sinceFirst / keyEvery)) < 1e-6;
        samples.push_back(key ? keyFrame(t) : deltaFrame(t));
    }
    return samples;
}

double pts(const MediaSamplePtr& sample) {
    return sample->presentationTime().seconds();
}

const Clip& clipOf(const ClipSelection& selection) {
    EXPECT_TRUE(std::holds_alternative<Clip>(selection));
    return std::get<Clip>(selection);
}
} // namespace

TEST(IsKeyframe, OnlyABooleanTrueNotSyncInTheFirstDictionaryMeansDependent) {
    EXPECT_TRUE(isKeyframe(*videoSample(0))) << "no attachments";
    EXPECT_TRUE(isKeyframe(*videoSample(0, SampleAttachments{}))) << "empty list";
    EXPECT_TRUE(isKeyframe(*videoSample(0, SampleAttachments{AttachmentEntry{}}))) << "not a dictionary";
    EXPECT_TRUE(isKeyframe(*videoSample(0, SampleAttachments{AttachmentEntry{AttachmentDictionary{}}})));
    EXPECT_TRUE(isKeyframe(*videoSample(
        0, SampleAttachments{AttachmentEntry{AttachmentDictionary{{attachment::kNotSync, std::int64_t{1}}}}})))
        << "a number is not a boolean";
    EXPECT_TRUE(isKeyframe(*videoSample(
        0, SampleAttachments{AttachmentEntry{AttachmentDictionary{{attachment::kNotSync, std::string("true")}}}})));
    EXPECT_TRUE(isKeyframe(*keyFrame(0)));
    EXPECT_FALSE(isKeyframe(*deltaFrame(0)));
    // Only the first dictionary is consulted.
    SampleAttachments two{AttachmentEntry{AttachmentDictionary{}},
                          AttachmentEntry{AttachmentDictionary{{attachment::kNotSync, true}}}};
    EXPECT_TRUE(isKeyframe(*videoSample(0, two)));
}

TEST(FindStartIndex, Pass1TakesTheLatestKeyFrameAtOrBeforeTheTargetStart) {
    LogCapture log;
    const auto samples = video(100.0, 110.75, 0.5); // targetStart 100.75
    const std::size_t index = findStartIndex(samples, 10, Logger::recording());
    EXPECT_DOUBLE_EQ(pts(samples[index]), 100.5);
    EXPECT_EQ(log.texts(), std::vector<QString>{QStringLiteral(
                               "[startIndex] Pass1 found keyframe at idx=10 (buffer longer than target)")});

    // A key frame exactly at targetStart is taken.
    const auto exact = video(100.0, 111.0, 0.5);
    EXPECT_DOUBLE_EQ(pts(exact[findStartIndex(exact, 10, Logger::recording())]), 101.0);

    // Without attachments every frame is a key frame: the latest one at or before targetStart.
    std::vector<MediaSamplePtr> plain;
    for (int i = 0; i <= 330; ++i) {
        plain.push_back(videoSample(100.0 + i / 30.0));
    }
    EXPECT_NEAR(pts(plain[findStartIndex(plain, 10, Logger::recording())]), 101.0, 1e-9);
}

TEST(FindStartIndex, Pass2AndNothingAtAll) {
    LogCapture log;
    const auto shortBuffer = video(100.0, 105.0, 0.5, 100.2);
    const std::size_t index = findStartIndex(shortBuffer, 10, Logger::recording());
    EXPECT_NEAR(pts(shortBuffer[index]), 100.2, 1e-9);
    EXPECT_EQ(log.count(QStringLiteral(
                  "[startIndex] Pass2 fallback: buffer shorter than target, using first keyframe at idx=4")),
              1);

    const auto noKeys = video(0.0, 1.0, 0);
    EXPECT_EQ(findStartIndex(noKeys, 10, Logger::recording()), 0u);
    EXPECT_EQ(log.levelOf(QStringLiteral("[startIndex] No keyframe found at all — returning 0")), QtCriticalMsg);

    log.clear();
    EXPECT_EQ(findStartIndex({}, 10, Logger::recording()), 0u);
    EXPECT_TRUE(log.lines().empty());
}

TEST(SelectClip, ThirtySecondsWithTheFirstKeyFrameLate) {
    LogCapture log;
    const auto samples = video(100.0, 130.75, 0.5, 101.0);
    const ClipSelection selection = selectClip(samples, {}, 30, Logger::recording());
    const Clip& clip = clipOf(selection);
    EXPECT_DOUBLE_EQ(clip.startPTS.seconds(), 101.0);
    EXPECT_DOUBLE_EQ(clip.endPTS.seconds(), 130.75);
    EXPECT_NEAR(clip.endPTS.seconds() - clip.startPTS.seconds(), 29.75, 1e-9);
    EXPECT_TRUE(isKeyframe(*clip.video.front()));
    EXPECT_EQ(clip.video.back().get(), samples.back().get()) << "samples are shared, not copied";
    EXPECT_TRUE(clip.audio.empty());
    EXPECT_EQ(log.texts(), (std::vector<QString>{
                               QStringLiteral("[Stop] Audio ring: EMPTY — audio callbacks may not have fired or storage failed"),
                               QStringLiteral("[Stop] Buffer: 616 video frames (span=30.75s)"),
                               QStringLiteral("[startIndex] Pass2 fallback: buffer shorter than target, using first keyframe at idx=20"),
                               QStringLiteral("[Stop] startIndex=20 → 596 candidate frames before keyframe trim"),
                               QStringLiteral("[Stop] Clip: 596 video frames; 0 audio samples; clipStartPTS=101.000s clipEndPTS=130.750s"),
                           }));
}

TEST(SelectClip, AudioBoundsAreInclusiveToTheTick) {
    LogCapture log;
    const auto samples = video(100.0, 110.75, 0.5); // clip 100.5 … 110.75
    const MediaTime lower = MediaTime::makeWithSeconds(100.4, kTimeScale);
    const MediaTime upper = MediaTime::makeWithSeconds(110.85, kTimeScale);
    const MediaTime tick(1, kTimeScale);
    const std::vector<MediaSamplePtr> audio{sampleAt(subtract(lower, tick)), sampleAt(lower),
                                            sampleAt(MediaTime::makeWithSeconds(105, kTimeScale)), sampleAt(upper),
                                            sampleAt(add(upper, tick))};
    const ClipSelection selection = selectClip(samples, audio, 10, Logger::recording());
    const Clip& clip = clipOf(selection);
    ASSERT_EQ(clip.audio.size(), 3u);
    EXPECT_EQ(clip.audio[0].get(), audio[1].get());
    EXPECT_EQ(clip.audio[2].get(), audio[3].get());
    EXPECT_EQ(log.count(QStringLiteral("[Stop] Audio ring: 5 samples, PTS 100.400s–110.850s")), 1);
    EXPECT_EQ(log.count(QStringLiteral(
                  "[Stop] Clip: 206 video frames; 3 audio samples; clipStartPTS=100.500s clipEndPTS=110.750s")),
              1);
}

TEST(SelectClip, FailuresAfterTheReports) {
    LogCapture log;
    auto result = selectClip({}, {}, 10, Logger::recording());
    EXPECT_EQ(std::get<QString>(result), QStringLiteral("No frames were captured."));
    EXPECT_EQ(log.texts(), (std::vector<QString>{
                               QStringLiteral("[Stop] Audio ring: EMPTY — audio callbacks may not have fired or storage failed"),
                               QStringLiteral("[Stop] Buffer: 0 video frames (span=0.00s)"),
                               QStringLiteral("[Stop] Not enough video frames (0)"),
                           }));

    result = selectClip({keyFrame(3)}, {sampleAt(MediaTime(3, 1))}, 10, Logger::recording());
    EXPECT_EQ(std::get<QString>(result), QStringLiteral("Recording too short — try again."));
    EXPECT_EQ(log.count(QStringLiteral("[Stop] Not enough video frames (1)")), 1);

    log.clear();
    result = selectClip(video(0, 1, 0), {}, 10, Logger::recording());
    EXPECT_EQ(std::get<QString>(result), QStringLiteral("No keyframe found — recording too short."));
    EXPECT_EQ(log.count(QStringLiteral("[startIndex] No keyframe found at all — returning 0")), 1);
    EXPECT_EQ(log.levelOf(QStringLiteral("[Stop] No keyframe found in candidate frames — aborting")), QtCriticalMsg);
}
