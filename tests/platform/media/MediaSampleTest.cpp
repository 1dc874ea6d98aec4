#include "platform/media/MediaSample.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace backreel;

namespace {
std::vector<std::byte> bytes(std::initializer_list<int> values) {
    std::vector<std::byte> result;
    for (int v : values) {
        result.push_back(static_cast<std::byte>(v));
    }
    return result;
}
} // namespace

TEST(BlockBuffer, SegmentsReadAsOneRunOfBytes) {
    auto first = std::make_shared<std::vector<std::byte>>(bytes({1, 2, 3}));
    auto second = std::make_shared<std::vector<std::byte>>(bytes({4, 5}));
    BlockBufferPtr block = BlockBuffer::fromSegments(
        {{first, first->data(), first->size()}, {second, second->data(), second->size()}});
    EXPECT_EQ(block->dataLength(), 5u);
    EXPECT_FALSE(block->isContiguous());

    std::size_t atOffset = 0;
    std::size_t total = 0;
    const std::byte* pointer = nullptr;
    ASSERT_EQ(block->dataPointer(3, &atOffset, &total, &pointer), 0);
    EXPECT_EQ(atOffset, 2u);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(*pointer, std::byte{4});
    EXPECT_NE(block->dataPointer(5, nullptr, nullptr, &pointer), 0);

    BlockBufferPtr contiguous;
    ASSERT_EQ(BlockBuffer::createContiguous(*block, 1, 3, 0, &contiguous), 0);
    std::vector<std::byte> out(3);
    ASSERT_EQ(contiguous->copyDataBytes(0, out), 0);
    EXPECT_EQ(out, bytes({2, 3, 4}));
}

TEST(BlockBuffer, AlwaysCopyOwnsItsBytesAndBadRangesFail) {
    auto storage = std::make_shared<std::vector<std::byte>>(bytes({7, 8, 9}));
    BlockBufferPtr block = BlockBuffer::fromSegments({{storage, storage->data(), storage->size()}});

    BlockBufferPtr shared;
    ASSERT_EQ(BlockBuffer::createContiguous(*block, 0, 3, 0, &shared), 0);
    BlockBufferPtr copy;
    ASSERT_EQ(BlockBuffer::createContiguous(*block, 0, 3, BlockBuffer::kAlwaysCopyDataFlag, &copy), 0);
    (*storage)[0] = std::byte{0};

    const std::byte* pointer = nullptr;
    shared->dataPointer(0, nullptr, nullptr, &pointer);
    EXPECT_EQ(*pointer, std::byte{0}) << "without the copy flag a contiguous range is shared";
    copy->dataPointer(0, nullptr, nullptr, &pointer);
    EXPECT_EQ(*pointer, std::byte{7});

    BlockBufferPtr none;
    EXPECT_NE(BlockBuffer::createContiguous(*block, 2, 2, BlockBuffer::kAlwaysCopyDataFlag, &none), 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(BlockBuffer::createContiguous(*block, 0, 0, BlockBuffer::kAlwaysCopyDataFlag, &none), 0);
}

TEST(MediaSample, TimingSizesAndAttachmentsAsStored) {
    MediaSample::Parts parts;
    parts.numSamples = 480;
    parts.timing = {SampleTimingInfo{MediaTime(1, 48000), MediaTime(96000, 48000), MediaTime::invalid()}};
    parts.sizes = {8};
    MediaSamplePtr sample = MediaSample::make(std::move(parts));

    EXPECT_EQ(compare(sample->presentationTime(), MediaTime(2, 1)), 0);
    EXPECT_EQ(compare(sample->duration(), MediaTime(480, 48000)), 0) << "one entry covers every sample";
    EXPECT_EQ(sample->sampleAttachments(), nullptr) << "asking does not create attachments";

    std::size_t count = 0;
    EXPECT_EQ(sample->sampleTimingInfoArray(0, nullptr, &count), 0);
    EXPECT_EQ(count, 1u);
    SampleTimingInfo info;
    EXPECT_EQ(sample->sampleTimingInfoArray(1, &info, &count), 0);
    EXPECT_EQ(info.presentationTimeStamp, MediaTime(2, 1));
    std::size_t size = 0;
    EXPECT_EQ(sample->sampleSizeArray(1, &size, &count), 0);
    EXPECT_EQ(size, 8u);

    MediaSample::Parts noTiming;
    EXPECT_FALSE(MediaSample::make(std::move(noTiming))->presentationTime().isValid());
}

TEST(MediaSample, AudioBufferListComesWithItsRetainedBlock) {
    AudioStreamBasicDescription asbd;
    asbd.sampleRate = 48000;
    asbd.channelsPerFrame = 2;
    auto storage = std::make_shared<std::vector<std::byte>>(bytes({1, 2, 3, 4}));
    BlockBufferPtr block = BlockBuffer::fromSegments({{storage, storage->data(), 4}});

    MediaSample::Parts parts;
    parts.formatDescription = FormatDescription::audio(asbd);
    parts.audioBufferList = AudioBufferList{{1, storage->data(), 2}, {1, storage->data() + 2, 2}};
    parts.listBlock = block;
    MediaSamplePtr sample = MediaSample::make(std::move(parts));

    std::size_t needed = 0;
    ASSERT_EQ(sample->audioBufferListWithRetainedBlockBuffer(&needed, nullptr, 0, nullptr), 0);
    ASSERT_GT(needed, 0u);
    AudioBufferList list;
    BlockBufferPtr retained;
    EXPECT_NE(sample->audioBufferListWithRetainedBlockBuffer(nullptr, &list, needed - 1, &retained), 0);
    ASSERT_EQ(sample->audioBufferListWithRetainedBlockBuffer(nullptr, &list, needed, &retained), 0);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(retained, block);

    MediaSample::Parts video;
    video.formatDescription = FormatDescription::video(codec::hevc, {8, 8});
    EXPECT_NE(MediaSample::make(std::move(video))->audioBufferListWithRetainedBlockBuffer(&needed, nullptr, 0, nullptr),
              0);
}

TEST(FormatDescription, VideoAndAudioFields) {
    const auto video = FormatDescription::video(codec::hevc, {1920, 1080}, bytes({1, 2}));
    EXPECT_EQ(video->mediaSubType(), codec::hevc);
    EXPECT_EQ(video->mediaSubType().toString(), "hvc1");
    EXPECT_EQ(video->videoDimensions(), (VideoDimensions{1920, 1080}));
    EXPECT_EQ(video->codecConfiguration().size(), 2u);
    EXPECT_EQ(video->streamBasicDescription(), nullptr);

    AudioStreamBasicDescription asbd;
    asbd.formatFlags = AudioStreamBasicDescription::kFormatFlagIsFloat |
                       AudioStreamBasicDescription::kFormatFlagIsNonInterleaved;
    const auto audio = FormatDescription::audio(asbd);
    ASSERT_NE(audio->streamBasicDescription(), nullptr);
    EXPECT_TRUE(audio->streamBasicDescription()->isFloat());
    EXPECT_TRUE(audio->streamBasicDescription()->isNonInterleaved());
    EXPECT_EQ(audio->mediaSubType(), codec::linearPCM);
}
