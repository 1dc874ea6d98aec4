#include "platform/ffmpeg/AudioTrackClock.h"

#include <gtest/gtest.h>

using namespace backreel;

namespace {

constexpr std::int64_t kBuffer = 480; // 10 ms at 48 kHz

void expectPlacement(const AudioPlacement& placement, std::int64_t silence, std::int64_t skip,
                     std::int64_t take, std::optional<std::int64_t> anchor = std::nullopt) {
    EXPECT_EQ(placement.silence, silence);
    EXPECT_EQ(placement.skip, skip);
    EXPECT_EQ(placement.take, take);
    EXPECT_EQ(placement.anchor, anchor);
}

} // namespace

TEST(AudioTrackClock, TheFirstBufferAnchorsTheTrackAtItsOwnTime) {
    AudioTrackClock clock(48000);
    EXPECT_FALSE(clock.next());
    expectPlacement(clock.place(960, kBuffer), 0, 0, kBuffer, 960);
    EXPECT_EQ(clock.next(), 960 + kBuffer) << "audio that starts late is not moved to the start";
}

TEST(AudioTrackClock, AudioBeforeTheSessionStartIsCutOffNotShifted) {
    AudioTrackClock clock(48000);
    // 50 ms early: the first buffers lie wholly before the start and anchor nothing.
    for (std::int64_t start = -2400; start + kBuffer <= 0; start += kBuffer) {
        expectPlacement(clock.place(start, kBuffer), 0, kBuffer, 0);
        EXPECT_FALSE(clock.next());
    }
    // Straddling the start: the part before it goes, the rest starts the track at 0.
    AudioTrackClock straddling(48000);
    expectPlacement(straddling.place(-100, kBuffer), 0, 100, kBuffer - 100, 0);
    EXPECT_EQ(straddling.next(), kBuffer - 100);
    expectPlacement(straddling.place(kBuffer - 100, kBuffer), 0, 0, kBuffer);
    // Ending exactly at the start is wholly before it.
    AudioTrackClock ending(48000);
    expectPlacement(ending.place(-kBuffer, kBuffer), 0, kBuffer, 0);
    EXPECT_FALSE(ending.next());
}

TEST(AudioTrackClock, JitterWithinTheToleranceIsLaidEndToEnd) {
    AudioTrackClock clock(48000);
    EXPECT_EQ(clock.toleranceFrames(), 1920); // 40 ms
    clock.place(0, kBuffer);
    const std::int64_t jitters[] = {+1920, -1920, +300, -700, 0, +1};
    std::int64_t next = kBuffer;
    for (std::int64_t jitter : jitters) {
        expectPlacement(clock.place(next + jitter, kBuffer), 0, 0, kBuffer);
        next += kBuffer;
        EXPECT_EQ(clock.next(), next) << "the running count ignores a stamp " << jitter << " frames off";
    }
}

TEST(AudioTrackClock, AGapBeyondTheToleranceIsFilledWithSilence) {
    AudioTrackClock clock(48000);
    clock.place(0, kBuffer);
    expectPlacement(clock.place(kBuffer + 1921, kBuffer), 1921, 0, kBuffer);
    EXPECT_EQ(clock.next(), 2 * kBuffer + 1921);
    // 200 ms of lost audio.
    expectPlacement(clock.place(2 * kBuffer + 1921 + 9600, kBuffer), 9600, 0, kBuffer);
}

TEST(AudioTrackClock, AnOverlapBeyondTheToleranceIsDropped) {
    AudioTrackClock clock(48000);
    for (int index = 0; index < 10; ++index) {
        clock.place(index * kBuffer, kBuffer);
    }
    // 4.5 buffers repeated (2160 frames back): the four whole ones vanish, half of the next goes.
    const std::int64_t next = 10 * kBuffer;
    std::int64_t start = next - 2160;
    for (int index = 0; index < 4; ++index) {
        const AudioPlacement placement = clock.place(start, kBuffer);
        expectPlacement(placement, 0, kBuffer, 0);
        EXPECT_EQ(clock.next(), next);
        start += kBuffer;
        // Within the tolerance now (1920 - 480·k frames back): taken whole from here on.
        if (next - start <= clock.toleranceFrames()) {
            break;
        }
    }
    AudioTrackClock far(48000);
    far.place(0, 10 * kBuffer);
    expectPlacement(far.place(10 * kBuffer - 2000, kBuffer), 0, 2000 > kBuffer ? kBuffer : 2000, 0);
    expectPlacement(far.place(10 * kBuffer - 1980, 3000), 0, 1980, 3000 - 1980);
    EXPECT_EQ(far.next(), 10 * kBuffer + 1020);
}

TEST(AudioTrackClock, ARateChangeCarriesTheCountOver) {
    AudioTrackClock clock(48000);
    clock.place(0, 48000);
    clock.changeRate(44100);
    EXPECT_EQ(clock.next(), 44100);
    EXPECT_EQ(clock.toleranceFrames(), 1764);
    expectPlacement(clock.place(44100, 441), 0, 0, 441);
}

TEST(AudioTrackClock, FramesBetweenCountsExactlyAcrossTimeScales) {
    const MediaTime origin = MediaTime::makeWithSeconds(5123.4, kTimeScale);
    EXPECT_EQ(framesBetween(origin, origin, 48000), 0);
    EXPECT_EQ(framesBetween(origin, origin - MediaTime(4500, kTimeScale), 48000), -2400);
    EXPECT_EQ(framesBetween(origin, origin + MediaTime(480, 48000), 48000), 480);
    EXPECT_EQ(framesBetween(origin, origin + MediaTime(441, 44100), 48000), 480);
    EXPECT_EQ(framesBetween(origin, origin + MediaTime(1, 90000), 48000), 1) << "0.53 frames rounds to 1";
    EXPECT_EQ(framesBetween(origin, origin - MediaTime(1, 90000), 48000), -1);
    EXPECT_EQ(framesBetween(origin, MediaTime::invalid(), 48000), 0);
}
