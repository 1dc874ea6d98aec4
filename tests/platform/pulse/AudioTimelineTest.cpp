#include "platform/pulse/AudioTimeline.h"

#include "platform/pulse/FragmentSampler.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace backreel;

constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kTolerance = 960; // 20 ms
constexpr std::int64_t kFragment = 480;  // 10 ms

TEST(AudioTimeline, JitteryEstimatesStayEndToEndOthersReanchorForward) {
    AudioTimeline timeline(kTolerance);
    const AudioTimeline::Placement first = timeline.place(1'000'000, kFragment);
    EXPECT_EQ(first.start, 1'000'000);
    EXPECT_FALSE(first.reanchored);
    // Estimates wander by up to the tolerance either way; fragments of any length stay contiguous.
    std::int64_t expected = 1'000'000 + kFragment;
    std::int64_t length = 7;
    for (const std::int64_t offset :
         std::initializer_list<std::int64_t>{300, -500, kTolerance, -kTolerance, 0, 12, -900}) {
        const AudioTimeline::Placement placement = timeline.place(expected + offset, length);
        EXPECT_EQ(placement.start, expected) << "offset " << offset;
        EXPECT_FALSE(placement.reanchored);
        EXPECT_EQ(placement.drift, offset);
        expected += length;
        length = length * 3 % 1000;
    }

    AudioTimeline jumpy(kTolerance);
    jumpy.place(0, kFragment);
    // Just beyond the tolerance (audio the server dropped): re-anchored on the estimate.
    AudioTimeline::Placement placement = jumpy.place(kFragment + kTolerance + 1, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, kFragment + kTolerance + 1);
    EXPECT_EQ(placement.drift, kTolerance + 1);

    // 30 ms early: more audio arrived than time passed. Back, but not past the previous start.
    const std::int64_t previous = placement.start;
    placement = jumpy.place(previous + kFragment - 1440, kFragment);
    EXPECT_TRUE(placement.reanchored);
    EXPECT_EQ(placement.start, previous);

    // Estimates that jump around wildly, as after a suspend or a broken latency report.
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    for (const std::int64_t estimate : {5000, 100, 90'000, 2'000, 2'000, 91'000, 0, 200'000, 199'000}) {
        const std::int64_t start = jumpy.place(estimate, kFragment).start;
        EXPECT_GE(start, last) << "estimate " << estimate;
        last = start;
    }

    EXPECT_EQ(monotonicFrames(1, 999'999'999, kRate), 95'999); // truncates toward the past
    // Thirty years of uptime: nanoseconds times the rate would overflow, the split does not.
    const std::int64_t seconds = 30LL * 365 * 24 * 3600;
    EXPECT_EQ(monotonicFrames(seconds, 250'000'000, kRate), seconds * kRate + 12'000);
    EXPECT_EQ(framesForMicroseconds(20'833, kRate), 1000); // 999.98
    EXPECT_EQ(framesForMicroseconds(11, kRate), 1);        // 0.528

    // The first frame came before the three fragments queued and 2 ms of transport.
    EXPECT_EQ(estimateFirstFrameTime(100'000, 1440, 2'000, kRate), 98'464);

    FragmentSampler sampler({44100, 1});
    const std::vector<float> fragment(441, 0.5f);
    const std::optional<AudioView> audio =
        sampler.audio(fragment.data(), fragment.size() * sizeof(float), 44100);
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->samples.data(), fragment.data());
    EXPECT_EQ(audio->frameCount(), 441);
    EXPECT_EQ(audio->presentationTime, MediaTime(1, 1));
    // Less than a frame is nothing; a trailing partial frame is left out.
    FragmentSampler stereo({kRate, 2});
    EXPECT_FALSE(stereo.audio(fragment.data(), 7, 0));
    EXPECT_FALSE(stereo.audio(nullptr, 0, 0));
    EXPECT_EQ(stereo.audio(fragment.data(), 12, 0)->samples.size(), 2u);

    // A hole in the stream becomes silence, and the audio after it follows on the timeline.
    const std::vector<float> tenMilliseconds(480 * 2, 0.25f);
    const std::size_t bytes = tenMilliseconds.size() * sizeof(float);
    EXPECT_EQ(stereo.audio(tenMilliseconds.data(), bytes, 10'000)->presentationTime.value(), 10'000);
    const std::optional<AudioView> hole = stereo.audio(nullptr, 960 * 8, 10'480);
    ASSERT_TRUE(hole);
    EXPECT_EQ(hole->frameCount(), 960);
    EXPECT_EQ(hole->presentationTime.value(), 10'480);
    EXPECT_TRUE(std::ranges::all_of(hole->samples, [](float value) { return value == 0.0f; }));
    EXPECT_EQ(stereo.audio(tenMilliseconds.data(), bytes, 11'440 + 100)->presentationTime.value(), 11'440);
    EXPECT_FALSE(stereo.lastPlacement().reanchored);
}
