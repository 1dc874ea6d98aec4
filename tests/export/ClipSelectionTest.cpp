#include "export/ClipSelection.h"

#include "support/Samples.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::test;

// Video from `from` to `to` at 20 fps with a key frame every `keyEvery` seconds (0: never),
// counted from firstKey (default: from).
static std::vector<VideoPacket> video(double from, double to, double keyEvery, double firstKey = -1) {
    std::vector<VideoPacket> packets;
    const int frames = static_cast<int>(std::lround((to - from) * 20));
    for (int i = 0; i <= frames; ++i) {
        const double t = from + i / 20.0;
        const double sinceFirst = t - (firstKey < 0 ? from : firstKey);
        const bool key = keyEvery > 0 && sinceFirst > -1e-9 &&
                         std::fabs(sinceFirst / keyEvery - std::round(sinceFirst / keyEvery)) < 1e-6;
        packets.push_back(videoPacket(t, key));
    }
    return packets;
}

static double pts(const VideoPacket& packet) {
    return packet.presentationTime.seconds();
}

static const Clip& clipOf(const ClipSelection& selection) {
    EXPECT_TRUE(std::holds_alternative<Clip>(selection));
    return std::get<Clip>(selection);
}

const Logger recLog = Logger::recording();

TEST(SelectClip, ThirtySecondsWithTheFirstKeyFrameLate) {
    const auto packets = video(100.0, 130.75, 0.5, 101.0);
    const ClipSelection selection = selectClip(packets, {}, 30, recLog);
    const Clip& clip = clipOf(selection);
    EXPECT_DOUBLE_EQ(clip.startPTS.seconds(), 101.0);
    EXPECT_DOUBLE_EQ(clip.endPTS.seconds(), 130.75);
    EXPECT_EQ(clip.video.size(), 596u);
    EXPECT_TRUE(clip.video.front().keyFrame);
    EXPECT_EQ(clip.video.back().data.data(), packets.back().data.data()) << "packets share their bytes";
    EXPECT_TRUE(clip.audio.empty());

    EXPECT_EQ(std::get<QString>(selectClip({}, {}, 10, recLog)), QStringLiteral("No frames were captured."));
    EXPECT_EQ(std::get<QString>(selectClip({keyFrame(3)}, {audioAt(3.0)}, 10, recLog)),
              QStringLiteral("Recording too short — try again."));
    EXPECT_EQ(std::get<QString>(selectClip(video(0, 1, 0), {}, 10, recLog)),
              QStringLiteral("No keyframe found — recording too short."));

    const auto longer = video(100.0, 110.75, 0.5); // target start 100.75
    EXPECT_DOUBLE_EQ(pts(longer[findStartIndex(longer, 10, recLog)]), 100.5);
    const auto exact = video(100.0, 111.0, 0.5); // a key frame exactly at the target start is taken
    EXPECT_DOUBLE_EQ(pts(exact[findStartIndex(exact, 10, recLog)]), 101.0);
    const auto shorter = video(100.0, 105.0, 0.5, 100.2);
    EXPECT_NEAR(pts(shorter[findStartIndex(shorter, 10, recLog)]), 100.2, 1e-9);
    EXPECT_EQ(findStartIndex(video(0.0, 1.0, 0), 10, recLog), 0u) << "no key frame at all";
    EXPECT_EQ(findStartIndex({}, 10, recLog), 0u);
}

// The sound starts with the packet before the one that holds the first picture's moment, which
// its decoding needs, and ends a tenth of a second after the last picture, to the tick.
TEST(SelectClip, TheSoundStartsAPacketEarlyAndEndsATenthOfASecondLate) {
    const auto packets = video(100.0, 110.75, 0.5); // clip 100.5 … 110.75
    const MediaTime start = MediaTime::makeWithSeconds(100.5, kTimeScale);
    const MediaTime upper = MediaTime::makeWithSeconds(110.85, kTimeScale);
    const MediaTime tick(1, kTimeScale);
    const MediaTime packet(1024, 48000);
    const std::vector<AudioPacket> audio{audioAt(start - packet - packet),
                                         audioAt(start - packet - packet + tick), audioAt(105.0),
                                         audioAt(upper), audioAt(add(upper, tick))};
    const ClipSelection selection = selectClip(packets, audio, 10, recLog);
    const Clip& clip = clipOf(selection);
    ASSERT_EQ(clip.audio.size(), 3u);
    EXPECT_EQ(clip.audio[0].presentationTime, start - packet - packet + tick);
    EXPECT_EQ(clip.audio[2].presentationTime, upper);
}
