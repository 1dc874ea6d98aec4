#include "platform/pulse/FragmentSampler.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace backreel;

namespace {
constexpr SystemAudioFormat kStereo{48000, 2};

bool allSilent(const AudioView& audio) {
    return std::all_of(audio.samples.begin(), audio.samples.end(), [](float value) { return value == 0.0f; });
}
} // namespace

TEST(FragmentSampler, ViewsTheFragmentsWholeFramesWithoutCopying) {
    FragmentSampler sampler({44100, 1});
    const std::vector<float> fragment(441, 0.5f);
    const std::optional<AudioView> audio =
        sampler.audio(fragment.data(), fragment.size() * sizeof(float), 44100);
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->samples.data(), fragment.data());
    EXPECT_EQ(audio->frameCount(), 441);
    EXPECT_EQ(audio->channels, 1);
    EXPECT_EQ(audio->sampleRate, 44100);
    EXPECT_EQ(audio->presentationTime, MediaTime(1, 1));

    // Less than a frame is nothing; a trailing partial frame is left out.
    FragmentSampler stereo(kStereo);
    EXPECT_FALSE(stereo.audio(fragment.data(), 7, 0));
    EXPECT_FALSE(stereo.audio(nullptr, 0, 0));
    EXPECT_EQ(stereo.audio(fragment.data(), 12, 0)->samples.size(), 2u);
}

TEST(FragmentSampler, HolesBecomeSilenceAndKeepTimeFlowing) {
    FragmentSampler sampler(kStereo);
    const std::vector<float> fragment(480 * 2, 0.25f);
    const std::size_t bytes = fragment.size() * sizeof(float);
    EXPECT_EQ(sampler.audio(fragment.data(), bytes, 10'000)->presentationTime.value(), 10'000);
    const std::optional<AudioView> hole = sampler.audio(nullptr, 960 * 8, 10'480);
    ASSERT_TRUE(hole);
    EXPECT_EQ(hole->frameCount(), 960);
    EXPECT_EQ(hole->presentationTime.value(), 10'480);
    EXPECT_TRUE(allSilent(*hole));
    // The audio after the hole follows it on the timeline, as if the hole had been played.
    EXPECT_EQ(sampler.audio(fragment.data(), bytes, 11'440 + 100)->presentationTime.value(), 11'440);
    EXPECT_FALSE(sampler.lastPlacement().reanchored);
    // A longer hole later is all silence too.
    const std::optional<AudioView> longer = sampler.audio(nullptr, 4800 * 8, 11'920);
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->samples.size(), 4800u * 2);
    EXPECT_TRUE(allSilent(*longer));
}
