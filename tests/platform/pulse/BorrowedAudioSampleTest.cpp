#include "platform/pulse/BorrowedAudioSample.h"

#include "capture/CaptureDelegate.h"
#include "platform/log/Log.h"
#include "platform/pulse/PulseAudioFormat.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace backreel;

namespace {

std::vector<float> ramp(std::size_t count) {
    std::vector<float> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = static_cast<float>(i) / 100.0f;
    }
    return values;
}

std::span<const std::byte> bytesOf(const std::vector<float>& values) {
    return std::as_bytes(std::span<const float>(values));
}

} // namespace

TEST(BorrowedAudioSample, PointsStraightAtTheLentBytes) {
    const FormatDescriptionPtr format = FormatDescription::audio(interleavedFloatDescription({48000, 2}));
    const std::vector<float> frames = ramp(480 * 2);
    const MediaSamplePtr sample = makeBorrowedAudioSample(format, bytesOf(frames), MediaTime(96000, 48000));
    ASSERT_TRUE(sample);

    EXPECT_EQ(sample->formatDescription(), format);
    EXPECT_EQ(sample->numSamples(), 480);
    EXPECT_FALSE(sample->dataBuffer());
    EXPECT_FALSE(sample->imageBuffer());
    EXPECT_EQ(sample->presentationTime(), MediaTime(2, 1));
    EXPECT_EQ(sample->duration(), MediaTime(480, 48000));

    std::size_t count = 0;
    sample->sampleTimingInfoArray(0, nullptr, &count);
    ASSERT_EQ(count, 1u);
    SampleTimingInfo timing;
    sample->sampleTimingInfoArray(1, &timing, &count);
    EXPECT_EQ(timing.duration, MediaTime(1, 48000));
    EXPECT_EQ(timing.duration.timeScale(), 48000);
    EXPECT_EQ(timing.presentationTimeStamp.timeScale(), 48000);
    EXPECT_FALSE(timing.decodeTimeStamp.isValid());

    std::size_t size = 0;
    sample->sampleSizeArray(0, nullptr, &count);
    ASSERT_EQ(count, 1u);
    sample->sampleSizeArray(1, &size, &count);
    EXPECT_EQ(size, 8u);

    std::size_t listSize = 0;
    ASSERT_EQ(sample->audioBufferListWithRetainedBlockBuffer(&listSize, nullptr, 0, nullptr), 0);
    AudioBufferList list;
    BlockBufferPtr block;
    ASSERT_EQ(sample->audioBufferListWithRetainedBlockBuffer(nullptr, &list, listSize, &block), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].numberChannels, 2u);
    EXPECT_EQ(list[0].dataByteSize, frames.size() * sizeof(float));
    // Zero copy: the buffer and the block are the lender's own bytes.
    EXPECT_EQ(static_cast<const void*>(list[0].data), static_cast<const void*>(frames.data()));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->dataLength(), frames.size() * sizeof(float));
    ASSERT_EQ(block->segments().size(), 1u);
    EXPECT_EQ(static_cast<const void*>(block->segments()[0].data), static_cast<const void*>(frames.data()));
}

TEST(BorrowedAudioSample, OwnsNothing) {
    const FormatDescriptionPtr format = FormatDescription::audio(interleavedFloatDescription({48000, 1}));
    const std::vector<float> frames = ramp(16);
    const MediaSamplePtr sample = makeBorrowedAudioSample(format, bytesOf(frames), MediaTime(0, 48000));
    ASSERT_TRUE(sample);
    AudioBufferList list;
    BlockBufferPtr block;
    ASSERT_EQ(sample->audioBufferListWithRetainedBlockBuffer(nullptr, &list, 64, &block), 0);
    // No control block: the owner neither keeps the bytes alive nor frees them.
    EXPECT_EQ(block->segments()[0].owner.use_count(), 0);
    EXPECT_EQ(block->segments()[0].owner.get(), static_cast<const void*>(frames.data()));
}

TEST(BorrowedAudioSample, DeepCopyOutlivesTheLender) {
    const FormatDescriptionPtr format = FormatDescription::audio(interleavedFloatDescription({48000, 2}));
    MediaSamplePtr copy;
    {
        std::vector<float> frames = ramp(96);
        const MediaSamplePtr sample = makeBorrowedAudioSample(format, bytesOf(frames), MediaTime(480, 48000));
        copy = deepCopyAudioSample(*sample, Logger::recording());
        std::fill(frames.begin(), frames.end(), -1.0f); // the lender reuses its memory
    }
    ASSERT_TRUE(copy);
    ASSERT_TRUE(copy->dataBuffer());
    EXPECT_EQ(copy->numSamples(), 48);
    EXPECT_EQ(copy->presentationTime(), MediaTime(480, 48000));
    std::vector<float> copied(96);
    ASSERT_EQ(copy->dataBuffer()->copyDataBytes(0, std::as_writable_bytes(std::span<float>(copied))), 0);
    EXPECT_EQ(copied, ramp(96));
}

TEST(BorrowedAudioSample, CountsWholeFramesOnly) {
    const FormatDescriptionPtr format = FormatDescription::audio(interleavedFloatDescription({48000, 2}));
    const std::vector<float> frames = ramp(7); // three frames and half of one
    const MediaSamplePtr sample = makeBorrowedAudioSample(format, bytesOf(frames), MediaTime(0, 48000));
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->numSamples(), 3);
    AudioBufferList list;
    BlockBufferPtr block;
    ASSERT_EQ(sample->audioBufferListWithRetainedBlockBuffer(nullptr, &list, 64, &block), 0);
    EXPECT_EQ(list[0].dataByteSize, 24u);
    EXPECT_EQ(block->dataLength(), 24u);
}

TEST(BorrowedAudioSample, NeedsAnAudioFormat) {
    const std::vector<float> frames = ramp(4);
    EXPECT_FALSE(makeBorrowedAudioSample(nullptr, bytesOf(frames), MediaTime(0, 48000)));
    EXPECT_FALSE(makeBorrowedAudioSample(FormatDescription::video(codec::h264, {16, 16}), bytesOf(frames),
                                         MediaTime(0, 48000)));
}
