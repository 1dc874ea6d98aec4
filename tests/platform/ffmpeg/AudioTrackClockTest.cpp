#include "platform/ffmpeg/AudioTrackClock.h"

#include <array>
#include <gtest/gtest.h>

using namespace backreel;

constexpr std::int64_t kBuffer = 480; // 10 ms at 48 kHz

static void expectPlacement(const AudioPlacement& placement, std::int64_t silence, std::int64_t skip,
                            std::int64_t take, std::optional<std::int64_t> anchor = std::nullopt) {
    EXPECT_EQ(placement.silence, silence);
    EXPECT_EQ(placement.skip, skip);
    EXPECT_EQ(placement.take, take);
    EXPECT_EQ(placement.anchor, anchor);
}

TEST(AudioTrackClock, AudioBeforeTheStartIsCutOffAndLateAudioIsNotMoved) {
    AudioTrackClock early(48000);
    expectPlacement(early.place(-2 * kBuffer, kBuffer), 0, kBuffer, 0);
    expectPlacement(early.place(-kBuffer, kBuffer), 0, kBuffer, 0); // ending at the start is wholly before it
    EXPECT_FALSE(early.next()) << "nothing before the start anchors the track";
    expectPlacement(early.place(-100, kBuffer), 0, 100, kBuffer - 100, 0);
    EXPECT_EQ(early.next(), kBuffer - 100);

    AudioTrackClock late(48000);
    expectPlacement(late.place(960, kBuffer), 0, 0, kBuffer, 960);
    EXPECT_EQ(late.next(), 960 + kBuffer);

    const MediaTime origin = MediaTime::makeWithSeconds(5123.4, kTimeScale);
    EXPECT_EQ(framesBetween(origin, origin - MediaTime(4500, kTimeScale), 48000), -2400);
    EXPECT_EQ(framesBetween(origin, origin + MediaTime(441, 44100), 48000), 480);
    EXPECT_EQ(framesBetween(origin, origin + MediaTime(1, 90000), 48000), 1) << "0.53 frames rounds to 1";
    EXPECT_EQ(framesBetween(origin, MediaTime::invalid(), 48000), 0);

    // Stamps within the tolerance (rounding) of where the track has got to are laid end to end; a gap beyond
    // it (lost audio) is filled with silence, an overlap beyond it (repeated audio) dropped, up to a whole
    // buffer.
    AudioTrackClock clock(48000);
    EXPECT_EQ(clock.toleranceFrames(), 96); // 2 ms
    clock.place(0, kBuffer);
    const std::array<std::int64_t, 5> rows[] = {
        // stamped this far from where the track has got to, frames; silence before, skipped, taken
        {+96, kBuffer, 0, 0, kBuffer},  {-96, kBuffer, 0, 0, kBuffer},  {+1, kBuffer, 0, 0, kBuffer},
        {+97, kBuffer, 97, 0, kBuffer}, {-481, kBuffer, 0, kBuffer, 0}, {+9600, kBuffer, 9600, 0, kBuffer},
        {-1980, 3000, 0, 1980, 1020}};
    for (const auto& [offset, frames, silence, skip, take] : rows) {
        const std::int64_t next = clock.next().value();
        expectPlacement(clock.place(next + offset, frames), silence, skip, take);
        EXPECT_EQ(clock.next(), next + silence + take) << offset;
    }

    // A rate change carries the count over.
    AudioTrackClock resampled(48000);
    resampled.place(0, 48000);
    resampled.changeRate(44100);
    EXPECT_EQ(resampled.next(), 44100);
    EXPECT_EQ(resampled.toleranceFrames(), 88);
    expectPlacement(resampled.place(44100, 441), 0, 0, 441);
}
