#include "platform/pulse/AudioTimeline.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

using namespace backreel;

namespace {
constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kTolerance = 960; // 20 ms
constexpr std::int64_t kFragment = 480;  // 10 ms
} // namespace

TEST(AudioTimeline, ClockReadingsAndDurationsInFrames) {
    EXPECT_EQ(monotonicFrames(2, 500'000'000, kRate), 120'000);
    EXPECT_EQ(monotonicFrames(1, 999'999'999, kRate), 95'999); // truncates toward the past
    // Thirty years of uptime: nanoseconds times the rate would overflow, the split does not.
    const std::int64_t seconds = 30LL * 365 * 24 * 3600;
    EXPECT_EQ(monotonicFrames(seconds, 250'000'000, kRate), seconds * kRate + 12'000);

    EXPECT_EQ(framesForMicroseconds(20'833, kRate), 1000); // 999.98
    EXPECT_EQ(framesForMicroseconds(10, kRate), 0);        // 0.48
    EXPECT_EQ(framesForMicroseconds(11, kRate), 1);        // 0.528
    EXPECT_EQ(framesForMicroseconds(3'600'000'000ULL, kRate), 3600LL * kRate);
}

TEST(AudioTimeline, FirstFrameWasCapturedBeforeEverythingQueuedAndTheServerDelay) {
    // A lone 10 ms fragment that has just arrived from a server without delay.
    EXPECT_EQ(estimateFirstFrameTime(100'000, 480, 0, kRate), 99'520);
    // Three fragments queued: the first of them is 30 ms old, plus the 2 ms transport.
    EXPECT_EQ(estimateFirstFrameTime(100'000, 1440, 2'000, kRate), 98'464);
    EXPECT_EQ(estimateFirstFrameTime(44'100, 441, 0, 44100), 43'659);
}

TEST(AudioTimeline, JitteryEstimatesStayEndToEnd) {
    AudioTimeline timeline(kTolerance);
    const AudioTimeline::Placement first = timeline.place(1'000'000, kFragment);
    EXPECT_EQ(first.start, 1'000'000);
    EXPECT_FALSE(first.reanchored);
    // Estimates wander by up to the tolerance either way; fragments of any length stay contiguous.
    const std::int64_t jitter[] = {+300, -500, +kTolerance, -kTolerance, 0, +12, -900};
    std::int64_t expected = 1'000'000 + kFragment;
    std::int64_t length = 7;
    for (const std::int64_t offset : jitter) {
        const AudioTimeline::Placement placement = timeline.place(expected + offset, length);
        EXPECT_EQ(placement.start, expected) << "offset " << offset;
        EXPECT_FALSE(placement.reanchored);
        EXPECT_EQ(placement.drift, offset);
        expected += length;
        length = length * 3 % 1000;
    }
}

TEST(AudioTimeline, ReanchorsBeyondTheToleranceButNeverBeforeThePreviousStart) {
    AudioTimeline timeline(kTolerance);
    timeline.place(0, kFragment);
    // Just beyond the tolerance (audio the server dropped): re-anchored on the estimate.
    AudioTimeline::Placement placement = timeline.place(kFragment + kTolerance + 1, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, kFragment + kTolerance + 1);
    EXPECT_EQ(placement.drift, kTolerance + 1);

    // 30 ms early: more audio arrived than time passed. Back, but not past the previous start.
    const std::int64_t previous = placement.start;
    placement = timeline.place(previous + kFragment - 1440, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, previous);

    // Estimates that jump around wildly, as after a suspend or a broken latency report.
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    for (const std::int64_t estimate : {5000, 100, 90'000, 2'000, 2'000, 91'000, 0, 200'000, 199'000}) {
        const std::int64_t start = timeline.place(estimate, kFragment).start;
        EXPECT_GE(start, last) << "estimate " << estimate;
        last = start;
    }
}
