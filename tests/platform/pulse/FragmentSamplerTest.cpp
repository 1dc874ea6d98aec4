#include "platform/pulse/FragmentSampler.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace backreel;

namespace {

constexpr SystemAudioFormat kStereo{48000, 2};

// The single interleaved buffer of a sample.
AudioBuffer bufferOf(const MediaSamplePtr& sample) {
    AudioBufferList list;
    BlockBufferPtr block;
    EXPECT_EQ(sample->audioBufferListWithRetainedBlockBuffer(nullptr, &list, 64, &block), 0);
    EXPECT_EQ(list.size(), 1u);
    return list.empty() ? AudioBuffer{} : list.front();
}

std::vector<float> floatsOf(const AudioBuffer& buffer) {
    const auto* first = reinterpret_cast<const float*>(buffer.data);
    return std::vector<float>(first, first + buffer.dataByteSize / sizeof(float));
}

} // namespace

TEST(FragmentSampler, WrapsTheFragmentWithoutCopying) {
    FragmentSampler sampler(kStereo);
    const std::vector<float> fragment(480 * 2, 0.5f);
    const MediaSamplePtr sample = sampler.sample(fragment.data(), fragment.size() * sizeof(float), 96'000);
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->numSamples(), 480);
    EXPECT_EQ(sample->presentationTime(), MediaTime(96'000, 48000));
    const AudioBuffer buffer = bufferOf(sample);
    EXPECT_EQ(static_cast<const void*>(buffer.data), static_cast<const void*>(fragment.data()));
    EXPECT_EQ(buffer.dataByteSize, 480u * 8);
    EXPECT_EQ(buffer.numberChannels, 2u);
}

TEST(FragmentSampler, TurnsAHoleIntoSilenceOfTheSameLength) {
    FragmentSampler sampler(kStereo);
    const MediaSamplePtr hole = sampler.sample(nullptr, 240 * 8, 0);
    ASSERT_TRUE(hole);
    EXPECT_EQ(hole->numSamples(), 240);
    EXPECT_EQ(hole->duration(), MediaTime(240, 48000));
    const AudioBuffer buffer = bufferOf(hole);
    ASSERT_NE(buffer.data, nullptr);
    ASSERT_EQ(buffer.dataByteSize, 240u * 8);
    const std::vector<float> values = floatsOf(buffer);
    EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](float value) { return value == 0.0f; }));

    // A longer hole later is all silence too.
    const MediaSamplePtr longer = sampler.sample(nullptr, 4800 * 8, 240);
    ASSERT_TRUE(longer);
    const std::vector<float> more = floatsOf(bufferOf(longer));
    ASSERT_EQ(more.size(), 4800u * 2);
    EXPECT_TRUE(std::all_of(more.begin(), more.end(), [](float value) { return value == 0.0f; }));
}

TEST(FragmentSampler, HolesKeepTimeFlowing) {
    FragmentSampler sampler(kStereo);
    const std::vector<float> fragment(480 * 2, 0.25f);
    const std::size_t bytes = fragment.size() * sizeof(float);
    EXPECT_EQ(sampler.sample(fragment.data(), bytes, 10'000)->presentationTime().value(), 10'000);
    EXPECT_EQ(sampler.sample(nullptr, 960 * 8, 10'480)->presentationTime().value(), 10'480);
    // The audio after the hole follows it on the timeline, as if the hole had been played.
    const MediaSamplePtr after = sampler.sample(fragment.data(), bytes, 11'440 + 100);
    EXPECT_EQ(after->presentationTime().value(), 11'440);
    EXPECT_FALSE(sampler.lastPlacement().reanchored);
    EXPECT_EQ(sampler.lastPlacement().drift, 100);
}

TEST(FragmentSampler, FragmentsFollowOnWithinTwentyMilliseconds) {
    FragmentSampler sampler(kStereo);
    const std::vector<float> fragment(480 * 2);
    const std::size_t bytes = fragment.size() * sizeof(float);
    sampler.sample(fragment.data(), bytes, 0);
    EXPECT_EQ(sampler.sample(fragment.data(), bytes, 480 + 960)->presentationTime().value(), 480);
    EXPECT_FALSE(sampler.lastPlacement().reanchored);
    // 21 ms off: re-anchored on the estimate.
    EXPECT_EQ(sampler.sample(fragment.data(), bytes, 960 + 1008)->presentationTime().value(), 960 + 1008);
    EXPECT_TRUE(sampler.lastPlacement().reanchored);
}

TEST(FragmentSampler, NothingForLessThanAFrame) {
    FragmentSampler sampler(kStereo);
    const std::vector<float> fragment(4);
    EXPECT_FALSE(sampler.sample(fragment.data(), 0, 0));
    EXPECT_FALSE(sampler.sample(nullptr, 0, 0));
    EXPECT_FALSE(sampler.sample(fragment.data(), 7, 0));
    EXPECT_EQ(sampler.frameCount(7), 0);
    EXPECT_EQ(sampler.frameCount(17), 2);
    // A trailing partial frame is left out.
    const MediaSamplePtr sample = sampler.sample(fragment.data(), 12, 0);
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->numSamples(), 1);
    EXPECT_EQ(bufferOf(sample).dataByteSize, 8u);
}

TEST(FragmentSampler, UsesTheRequestedFormat) {
    FragmentSampler sampler({44100, 1});
    const std::vector<float> fragment(441);
    const MediaSamplePtr sample = sampler.sample(fragment.data(), fragment.size() * sizeof(float), 44100);
    ASSERT_TRUE(sample);
    const AudioStreamBasicDescription* asbd = sample->formatDescription()->streamBasicDescription();
    ASSERT_NE(asbd, nullptr);
    EXPECT_EQ(asbd->sampleRate, 44100);
    EXPECT_EQ(asbd->channelsPerFrame, 1u);
    EXPECT_EQ(asbd->bytesPerFrame, 4u);
    EXPECT_EQ(sample->numSamples(), 441);
    EXPECT_EQ(sample->presentationTime(), MediaTime(1, 1));
    EXPECT_EQ(sample->duration(), MediaTime(1, 100));
}
