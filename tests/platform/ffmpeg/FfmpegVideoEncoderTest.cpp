#include "platform/ffmpeg/FfmpegVideoEncoder.h"

#include "EncoderTestSupport.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>

using namespace backreel;
using namespace backreel::test;

namespace {

// The packets of a 320×240 stream of moving pictures at these times, one frame every 1/30 s.
std::vector<VideoPacket> encodeMovingPictures(const std::vector<MediaTime>& times) {
    PacketCollector collector;
    auto encoder = openTestEncoder(collector, 320, 240);
    if (!encoder) {
        return {};
    }
    std::vector<VideoFrame> frames;
    for (std::size_t i = 0; i < times.size(); ++i) {
        frames.push_back({movingPicture(320, 240, static_cast<int>(i)), times[i], MediaTime(1, 30)});
    }
    encodeWithoutDrops(*encoder, collector, frames);
    encoder->finish();
    EXPECT_TRUE(collector.errors().empty());
    return collector.packets();
}

std::vector<MediaTime> framesAt(int count, int framesPerSecond) {
    std::vector<MediaTime> times;
    for (int i = 0; i < count; ++i) {
        times.emplace_back(i * (kTimeScale / framesPerSecond), kTimeScale);
    }
    return times;
}

} // namespace

TEST(FfmpegVideoEncoder, PacketsDecodeToTheSourceColoursAtEverySize) {
    const struct {
        int width;
        int height;
        int pictureWidth; // another size is scaled to the encoder's
        int pictureHeight;
    } cases[] = {{1920, 1080, 1920, 1080}, {1919, 1079, 1919, 1079}, {641, 359, 641, 359}, {2, 2, 2, 2},
                 {4096, 2160, 4096, 2160}, {320, 240, 640, 480}};
    for (const auto& size : cases) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        PacketCollector collector;
        auto encoder = openTestEncoder(collector, size.width, size.height);
        ASSERT_NE(encoder, nullptr);
        EXPECT_EQ(encoder->format().codec, VideoCodec::h264);
        EXPECT_EQ(encoder->format().width, size.width);
        EXPECT_EQ(encoder->format().height, size.height);
        // Two colours side by side; one for a picture too small to keep a sharp edge.
        const bool tiny = size.width < 16;
        const ImageBufferPtr picture =
            tiny ? paintedPicture(size.pictureWidth, size.pictureHeight, [](int, int) { return kTeal; })
                 : twoColourPicture(size.pictureWidth, size.pictureHeight);
        constexpr int kFrames = 3;
        for (int i = 0; i < kFrames; ++i) {
            encoder->encode({picture, MediaTime(i, 30), MediaTime(1, 30)});
        }
        encoder->finish();
        const std::vector<VideoPacket> packets = collector.packets();
        ASSERT_EQ(packets.size(), static_cast<std::size_t>(kFrames)) << "finish() delivers every frame";
        EXPECT_TRUE(collector.errors().empty());
        EXPECT_TRUE(packets.front().keyFrame);

        auto decoder = FfmpegFrameDecoder::create(encoder->format());
        ASSERT_NE(decoder, nullptr);
        for (const VideoPacket& packet : packets) {
            Expected<ImageBufferPtr> decoded = decoder->decode(packet);
            ASSERT_TRUE(decoded && decoded.value()) << "every packet decodes at once";
            const ImageBuffer& image = *decoded.value();
            ASSERT_EQ(image.width(), size.width);
            ASSERT_EQ(image.height(), size.height);
            // The corners: the last column and row are picture, not padding.
            expectColourNear(pixelAt(image, 0, 0), tiny ? kTeal : kOrange, "top-left");
            expectColourNear(pixelAt(image, 0, size.height - 1), tiny ? kTeal : kOrange, "bottom-left");
            expectColourNear(pixelAt(image, size.width - 1, size.height - 1), kTeal, "bottom-right");
        }
    }
}

TEST(FfmpegVideoEncoder, PacketsKeepTheFramesTimingAndShareOneFormatWithParameterSets) {
    PacketCollector collector;
    auto encoder = openTestEncoder(collector, 320, 240);
    ASSERT_NE(encoder, nullptr);
    // 29.97 frames per second at a scale of its own: the packets carry these exact values, not the
    // nearest 90 kHz tick.
    constexpr int kFrames = 20;
    std::vector<VideoFrame> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(
            {movingPicture(320, 240, i), MediaTime(1001 * i + 7, 30000), MediaTime(1001, 30000)});
    }
    encodeWithoutDrops(*encoder, collector, frames);
    encoder->finish();

    const std::vector<VideoPacket> packets = collector.packets();
    ASSERT_EQ(packets.size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(encoder->droppedFrames(), 0);
    for (int i = 0; i < kFrames; ++i) {
        const VideoPacket& packet = packets[static_cast<std::size_t>(i)];
        EXPECT_EQ(packet.presentationTime.value(), 1001 * i + 7) << "frame " << i;
        EXPECT_EQ(packet.presentationTime.timeScale(), 30000) << "frame " << i;
        EXPECT_EQ(packet.duration, MediaTime(1001, 30000)) << "frame " << i;
        EXPECT_FALSE(packet.data.empty());
        EXPECT_NE(packet.owner, nullptr);
        EXPECT_EQ(packet.format.get(), &encoder->format()) << "one shared format";
    }
    EXPECT_TRUE(packets[0].keyFrame);
    EXPECT_FALSE(packets[1].keyFrame) << "the second frame depends on the first";

    // Annex B parameter sets: a start code, then the sequence parameter set (NAL unit type 7).
    const std::vector<std::byte>& parameterSets = encoder->format().codecConfiguration;
    ASSERT_GE(parameterSets.size(), 8u);
    EXPECT_EQ(parameterSets[0], std::byte{0});
    EXPECT_EQ(parameterSets[1], std::byte{0});
    const std::size_t nalHeader = parameterSets[2] == std::byte{1} ? 3 : 4;
    EXPECT_EQ(std::to_integer<int>(parameterSets[nalHeader]) & 0x1F, 7);

    encoder->encode(frames[0]);
    EXPECT_EQ(collector.packets().size(), packets.size()) << "a finished encoder takes no frames";
}

TEST(FfmpegVideoEncoder, KeyFramesComeEveryHalfSecondAndEveryThirtyFrames) {
    // 30 frames per second: the half second comes first.
    const std::vector<VideoPacket> thirty = encodeMovingPictures(framesAt(46, 30));
    ASSERT_EQ(thirty.size(), 46u);
    EXPECT_EQ(keyFrameIndices(thirty), (std::vector<int>{0, 15, 30, 45}));
    // A clip starts at a key frame in the middle of the stream: it decodes with nothing before it
    // but the format's parameter sets.
    auto decoder = FfmpegFrameDecoder::create(*thirty[15].format);
    ASSERT_NE(decoder, nullptr);
    Expected<ImageBufferPtr> decoded = decoder->decode(thirty[15]);
    ASSERT_TRUE(decoded && decoded.value());
    EXPECT_EQ(decoded.value()->width(), 320);

    // 120 frames per second: the 30 frames come first.
    const std::vector<VideoPacket> fast = encodeMovingPictures(framesAt(70, 120));
    ASSERT_EQ(fast.size(), 70u);
    EXPECT_EQ(keyFrameIndices(fast), (std::vector<int>{0, 30, 60}));

    // Three frames, the screen stands still for 0.6 s, three more: time, not frames, counts.
    const double pause = 2 / 30.0 + 0.6;
    const std::vector<VideoPacket> paused = encodeMovingPictures(
        {MediaTime(0, 30), MediaTime(1, 30), MediaTime(2, 30), MediaTime::makeWithSeconds(pause, kTimeScale),
         MediaTime::makeWithSeconds(pause + 1 / 30.0, kTimeScale),
         MediaTime::makeWithSeconds(pause + 2 / 30.0, kTimeScale)});
    EXPECT_EQ(keyFrameIndices(paused), (std::vector<int>{0, 3}));
}

TEST(FfmpegVideoEncoder, ABurstDropsFramesAndKeepsTheRestInOrder) {
    PacketCollector collector;
    auto encoder = openTestEncoder(collector, 1280, 720);
    ASSERT_NE(encoder, nullptr);
    std::vector<ImageBufferPtr> pictures;
    for (int i = 0; i < 4; ++i) {
        pictures.push_back(movingPicture(1280, 720, i));
    }
    constexpr int kFrames = 40;
    for (int i = 0; i < kFrames; ++i) {
        encoder->encode(
            {pictures[static_cast<std::size_t>(i) % pictures.size()], MediaTime(i, 30), MediaTime(1, 30)});
    }
    encoder->finish();

    const std::vector<VideoPacket> packets = collector.packets();
    EXPECT_TRUE(collector.errors().empty()) << "a dropped frame is no error";
    EXPECT_GT(encoder->droppedFrames(), 0) << "the encoder cannot keep up with a burst";
    EXPECT_GE(packets.size(), FfmpegVideoEncoder::kMaxPendingFrames) << "the queued frames were encoded";
    EXPECT_EQ(static_cast<std::int64_t>(packets.size()) + encoder->droppedFrames(), kFrames)
        << "every frame is accounted for";
    for (std::size_t i = 1; i < packets.size(); ++i) {
        EXPECT_LT(packets[i - 1].presentationTime, packets[i].presentationTime);
    }
}

TEST(FfmpegVideoEncoder, ALostFrameIsReportedAndTheNextOneEncodes) {
    PacketCollector collector;
    auto encoder = openTestEncoder(collector, 320, 240);
    ASSERT_NE(encoder, nullptr);
    encoder->encode({nullptr, MediaTime(0, 30), MediaTime(1, 30)});
    encoder->encode({twoColourPicture(320, 240), MediaTime(1, 30), MediaTime(1, 30)});
    encoder->finish();
    const std::vector<EncoderError> errors = collector.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, EncoderError::Kind::encodeFailed);
    EXPECT_FALSE(errors[0].message.isEmpty());
    ASSERT_EQ(collector.packets().size(), 1u);
    EXPECT_TRUE(collector.packets()[0].keyFrame);
}

TEST(FfmpegVideoEncoder, NothingReachesTheOutputOnceCloseReturns) {
    std::atomic<bool> closed{false};
    std::atomic<int> lateOutputs{0};
    EncoderOutput output{[&](const VideoPacket&) { lateOutputs += closed ? 1 : 0; },
                         [&](const EncoderError&) {
                             lateOutputs += closed ? 1 : 0;
                         }};
    FfmpegVideoEncoderService service;
    auto opened = service.open(testSettings(640, 480), output);
    ASSERT_TRUE(opened);
    std::unique_ptr<VideoEncoder> encoder = std::move(opened).value();
    const ImageBufferPtr picture = movingPicture(640, 480, 0);
    for (int i = 0; i < 10; ++i) {
        encoder->encode({picture, MediaTime(i, 30), MediaTime(1, 30)});
    }
    encoder->close();
    closed = true;
    encoder->encode({picture, MediaTime(11, 30), MediaTime(1, 30)});
    encoder->finish(); // returns at once
    encoder->close();  // a second time changes nothing
    encoder.reset();   // nor does the destructor's
    EXPECT_EQ(lateOutputs.load(), 0);

    // An encoder that never had a frame finishes without a word.
    PacketCollector collector;
    auto unused = openTestEncoder(collector, 320, 240);
    ASSERT_NE(unused, nullptr);
    unused->finish();
    EXPECT_TRUE(collector.packets().empty());
    EXPECT_TRUE(collector.errors().empty());
}
