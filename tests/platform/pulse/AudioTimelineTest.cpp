#include "platform/pulse/AudioTimeline.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <time.h>

using namespace backreel;

namespace {
constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kTolerance = 960; // 20 ms
constexpr std::int64_t kFragment = 480;  // 10 ms
} // namespace

TEST(AudioTimeline, MonotonicFramesSplitsSecondsFromTheFraction) {
    EXPECT_EQ(monotonicFrames(0, 0, kRate), 0);
    EXPECT_EQ(monotonicFrames(2, 500'000'000, kRate), 120'000);
    EXPECT_EQ(monotonicFrames(1, 999'999'999, kRate), 95'999); // truncates toward the past
    EXPECT_EQ(monotonicFrames(1, 0, 44100), 44100);
    // Thirty years of uptime: nanoseconds times the rate would overflow, the split does not.
    const std::int64_t seconds = 30LL * 365 * 24 * 3600;
    EXPECT_EQ(monotonicFrames(seconds, 250'000'000, kRate), seconds * kRate + 12'000);
}

TEST(AudioTimeline, MonotonicNowFollowsTheClock) {
    timespec before{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    const std::int64_t now = monotonicNowFrames(kRate);
    timespec after{};
    clock_gettime(CLOCK_MONOTONIC, &after);
    EXPECT_GE(now, monotonicFrames(before.tv_sec, before.tv_nsec, kRate));
    EXPECT_LE(now, monotonicFrames(after.tv_sec, after.tv_nsec, kRate));
}

TEST(AudioTimeline, FramesForMicrosecondsRoundsToTheNearestFrame) {
    EXPECT_EQ(framesForMicroseconds(0, kRate), 0);
    EXPECT_EQ(framesForMicroseconds(10'000, kRate), 480);
    EXPECT_EQ(framesForMicroseconds(20'833, kRate), 1000); // 999.98
    EXPECT_EQ(framesForMicroseconds(10, kRate), 0);        // 0.48
    EXPECT_EQ(framesForMicroseconds(11, kRate), 1);        // 0.528
    EXPECT_EQ(framesForMicroseconds(1'000'000, 44100), 44100);
    EXPECT_EQ(framesForMicroseconds(3'600'000'000ULL, kRate), 3600LL * kRate);
}

TEST(AudioTimeline, FirstFrameWasCapturedBeforeEverythingQueuedAndTheServerDelay) {
    // A lone 10 ms fragment that has just arrived from a server without delay.
    EXPECT_EQ(estimateFirstFrameTime(100'000, 480, 0, kRate), 99'520);
    // 10 ms in the source on top.
    EXPECT_EQ(estimateFirstFrameTime(100'000, 480, 10'000, kRate), 99'040);
    // Three fragments queued: the first of them is 30 ms old, plus the 2 ms transport.
    EXPECT_EQ(estimateFirstFrameTime(100'000, 1440, 2'000, kRate), 98'464);
    EXPECT_EQ(estimateFirstFrameTime(44'100, 441, 0, 44100), 43'659);
}

TEST(AudioTimeline, FirstFragmentStartsAtItsEstimate) {
    AudioTimeline timeline(kTolerance);
    const AudioTimeline::Placement first = timeline.place(1'000'000, kFragment);
    EXPECT_EQ(first.start, 1'000'000);
    EXPECT_FALSE(first.reanchored);
    EXPECT_EQ(first.drift, 0);
}

TEST(AudioTimeline, JitteryEstimatesStayEndToEnd) {
    AudioTimeline timeline(kTolerance);
    timeline.place(1'000'000, kFragment);
    // Estimates wander by up to the tolerance either way; the fragments stay contiguous.
    const std::int64_t jitter[] = {+300, -500, +kTolerance, -kTolerance, 0, +12, -900};
    std::int64_t expected = 1'000'000 + kFragment;
    for (const std::int64_t offset : jitter) {
        const AudioTimeline::Placement placement = timeline.place(expected + offset, kFragment);
        EXPECT_EQ(placement.start, expected) << "offset " << offset;
        EXPECT_FALSE(placement.reanchored);
        EXPECT_EQ(placement.drift, offset);
        expected += kFragment;
    }
}

TEST(AudioTimeline, FragmentsOfDifferentLengthsFollowOn) {
    AudioTimeline timeline(kTolerance);
    timeline.place(0, 100);
    EXPECT_EQ(timeline.place(100, 441).start, 100);
    EXPECT_EQ(timeline.place(541, 7).start, 541);
    EXPECT_EQ(timeline.place(548, 0).start, 548);
    EXPECT_EQ(timeline.place(548, 480).start, 548);
}

TEST(AudioTimeline, ReanchorsForwardAfterAGap) {
    AudioTimeline timeline(kTolerance);
    timeline.place(0, kFragment);
    // 100 ms of audio never arrived (the stream was reconnected, say).
    const AudioTimeline::Placement placement = timeline.place(kFragment + 4800, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, kFragment + 4800);
    EXPECT_EQ(placement.drift, 4800);
    // And follows on from the new anchor.
    EXPECT_EQ(timeline.place(kFragment + 4800 + kFragment + 50, kFragment).start,
              kFragment + 4800 + kFragment);
}

TEST(AudioTimeline, JustBeyondTheToleranceReanchors) {
    AudioTimeline timeline(kTolerance);
    timeline.place(0, kFragment);
    const AudioTimeline::Placement placement = timeline.place(kFragment + kTolerance + 1, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, kFragment + kTolerance + 1);
}

TEST(AudioTimeline, ReanchorsBackwardButNeverBeforeThePreviousStart) {
    AudioTimeline timeline(kTolerance);
    timeline.place(0, kFragment);
    timeline.place(kFragment, kFragment);
    // The estimate says this fragment started 30 ms before where it would follow on: more
    // audio arrived than time passed. The timeline moves back, but not past the previous start.
    AudioTimeline::Placement placement = timeline.place(2 * kFragment - 1440, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, kFragment);
    EXPECT_EQ(placement.drift, -1440);

    // A backward step that stays after the previous start is taken as estimated.
    AudioTimeline slow(kTolerance);
    slow.place(0, 4800); // one 100 ms fragment
    placement = slow.place(4800 - 1000, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, 3800);
}

TEST(AudioTimeline, StartsNeverDecrease) {
    AudioTimeline timeline(kTolerance);
    // Estimates that jump around wildly, as after a suspend or a broken latency report.
    const std::int64_t estimates[] = {5000, 100, 90'000, 2'000, 2'000, 91'000, 0, 200'000, 199'000};
    std::int64_t previous = std::numeric_limits<std::int64_t>::min();
    for (const std::int64_t estimate : estimates) {
        const std::int64_t start = timeline.place(estimate, kFragment).start;
        EXPECT_GE(start, previous) << "estimate " << estimate;
        previous = start;
    }
}
