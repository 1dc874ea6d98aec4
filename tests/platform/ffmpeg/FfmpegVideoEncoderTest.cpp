#include "platform/ffmpeg/FfmpegVideoEncoder.h"

#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "platform/ffmpeg/KeyFrameSchedule.h"
#include "support/ChildProcess.h"

#include <array>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <ranges>
#include <string>

using namespace backreel;
using namespace backreel::test;

namespace {

// Everything an encoder hands to its output, in order.
struct PacketCollector {
    EncoderOutput output() {
        return {[this](const VideoPacket& packet) { add(packets, packet); },
                [this](const EncoderError& error) {
                    add(errors, error);
                }};
    }
    template <typename T> void add(std::vector<T>& list, const T& item) {
        std::lock_guard lock(mutex);
        list.push_back(item);
    }
    std::size_t outputs() {
        std::lock_guard lock(mutex);
        return packets.size() + errors.size();
    }
    std::mutex mutex;
    std::vector<VideoPacket> packets;
    std::vector<EncoderError> errors;
};

// BGRA. Red and blue differ, so swapped channels or chroma planes show.
using Colour = std::array<std::uint8_t, 3>;
constexpr Colour kOrange{30, 120, 230};
constexpr Colour kTeal{170, 140, 20};

// Left half orange, right half teal, and a white square that moves along the middle with the
// frame number, as screen content does.
ImageBufferPtr picture(int width, int height, int frameNumber = 0) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    const int squareX = width / 4 + (frameNumber * 8) % (width / 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool square = x >= squareX && x < squareX + 16 && std::abs(y - height / 2) < 8;
            const Colour colour = square ? Colour{255, 255, 255} : x < width / 2 ? kOrange : kTeal;
            const std::array<std::uint8_t, 4> bgra{colour[0], colour[1], colour[2], 255};
            std::memcpy(image->mutableBaseAddress() + static_cast<std::size_t>(y) * image->bytesPerRow() +
                            static_cast<std::size_t>(x) * 4,
                        bgra.data(), 4);
        }
    }
    return image;
}

// Whether a pixel shows the colour, within the few steps of a round trip through a lossy encoder.
bool shows(const ImageBuffer& image, int x, int y, const Colour& colour) {
    const std::byte* pixel = image.baseAddress() + static_cast<std::size_t>(y) * image.bytesPerRow() +
                             static_cast<std::size_t>(x) * 4;
    return std::ranges::all_of(std::views::iota(0u, 3u), [&](std::size_t i) {
        return std::abs(std::to_integer<int>(pixel[i]) - colour[i]) <= 12;
    });
}

VideoEncoderSettings settingsFor(int width, int height) {
    return {.width = width, .height = height, .averageBitRate = 2'000'000};
}

std::unique_ptr<FfmpegVideoEncoder> openEncoder(PacketCollector& collector, int width, int height) {
    auto encoder = FfmpegVideoEncoderService().openFfmpeg(settingsFor(width, height), collector.output());
    EXPECT_TRUE(encoder) << encoder.error().message.toStdString();
    return encoder ? std::move(encoder).value() : nullptr;
}

// The packets of a 320×240 stream of moving pictures at these times, given to the encoder without
// a drop: a new group of four frames (well within what the encoder queues) starts once everything
// before it came out.
std::vector<VideoPacket> encodeMoving(const std::vector<MediaTime>& times) {
    PacketCollector collector;
    auto encoder = openEncoder(collector, 320, 240);
    for (std::size_t i = 0; encoder && i < times.size(); ++i) {
        if (i % 4 == 0) {
            EXPECT_TRUE(waitUntil([&] { return collector.outputs() >= i; }, std::chrono::seconds(10))) << i;
        }
        encoder->encode({picture(320, 240, static_cast<int>(i)), times[i], MediaTime(1, 30)});
    }
    if (encoder) {
        encoder->finish();
    }
    EXPECT_EQ(collector.packets.size(), times.size());
    return collector.packets;
}

std::vector<std::size_t> keyFrames(const std::vector<VideoPacket>& packets) {
    std::vector<std::size_t> keys;
    std::ranges::copy_if(std::views::iota(0u, packets.size()), std::back_inserter(keys),
                         [&](std::size_t i) { return packets[i].keyFrame; });
    return keys;
}

std::vector<MediaTime> framesAt(int count, int framesPerSecond) {
    const auto times = std::views::iota(0, count) |
                       std::views::transform([&](int i) { return MediaTime(i, framesPerSecond); });
    return {times.begin(), times.end()};
}

} // namespace

TEST(FfmpegVideoEncoder, PacketsDecodeToTheSourceColoursWithTheFramesTimes) {
    const struct {
        int width;
        int height;
        int pictureWidth; // another size is scaled to the encoder's
        int pictureHeight;
    } cases[] = {{1920, 1080, 1920, 1080}, {1919, 1079, 1919, 1079}, {320, 240, 640, 480}};
    for (const auto& size : cases) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        PacketCollector collector;
        auto encoder = openEncoder(collector, size.width, size.height);
        ASSERT_NE(encoder, nullptr);
        EXPECT_EQ(encoder->format().codec, VideoCodec::h264);
        EXPECT_TRUE(encoder->format().width == size.width && encoder->format().height == size.height);
        // 29.97 frames per second at a scale of its own: the packets carry these exact values.
        for (int i = 0; i < 3; ++i) {
            encoder->encode({picture(size.pictureWidth, size.pictureHeight, i),
                             MediaTime(1001 * i + 7, 30000), MediaTime(1001, 30000)});
        }
        encoder->finish();
        const std::vector<VideoPacket> packets = collector.packets;
        ASSERT_EQ(packets.size(), 3u) << "finish() delivers every frame";
        EXPECT_TRUE(collector.errors.empty());
        EXPECT_TRUE(packets[0].keyFrame && !packets[1].keyFrame);
        // Annex B parameter sets: a start code, then the sequence parameter set (NAL unit type 7).
        const std::vector<std::byte>& parameterSets = encoder->format().codecConfiguration;
        ASSERT_GE(parameterSets.size(), 8u);
        EXPECT_EQ(std::to_integer<int>(parameterSets[parameterSets[2] == std::byte{1} ? 3 : 4]) & 0x1F, 7);
        auto decoder = FfmpegFrameDecoder::create(encoder->format());
        ASSERT_NE(decoder, nullptr);
        for (std::size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].presentationTime, MediaTime(1001 * static_cast<std::int64_t>(i) + 7, 30000));
            EXPECT_EQ(packets[i].presentationTime.timeScale(), 30000);
            EXPECT_EQ(packets[i].duration, MediaTime(1001, 30000));
            EXPECT_EQ(packets[i].format.get(), &encoder->format()) << "one shared format";
            Expected<ImageBufferPtr> decoded = decoder->decode(packets[i]);
            ASSERT_TRUE(decoded && decoded.value()) << "every packet decodes at once";
            const ImageBuffer& image = *decoded.value();
            ASSERT_TRUE(image.width() == size.width && image.height() == size.height);
            // The corners: the last column and row are picture, not padding.
            EXPECT_TRUE(shows(image, 0, 0, kOrange));
            EXPECT_TRUE(shows(image, 0, size.height - 1, kOrange));
            EXPECT_TRUE(shows(image, size.width - 1, size.height - 1, kTeal));
        }
    }
}

// A key frame every half second of presentation time and at least every 30 frames, whichever comes
// first, so that a clip cut anywhere starts close to one.
TEST(FfmpegVideoEncoder, KeyFramesComeEveryHalfSecondAndEveryThirtyFrames) {
    const auto at = [](std::initializer_list<int> thirtieths) {
        std::vector<MediaTime> times;
        std::ranges::transform(thirtieths, std::back_inserter(times), [](int t) { return MediaTime(t, 30); });
        return times;
    };
    const struct {
        const char* name;
        std::vector<MediaTime> times;
        std::vector<std::size_t> keyFrames;
    } cases[] = {
        {"30 a second: the half second first", framesAt(46, 30), {0, 15, 30, 45}},
        {"120 a second: the 30 frames first", framesAt(70, 120), {0, 30, 60}},
        {"a still screen for 0.6 s: time, not frames, counts", at({0, 1, 2, 20, 21, 22}), {0, 3}},
    };
    for (const auto& c : cases) {
        const std::vector<VideoPacket> packets = encodeMoving(c.times);
        EXPECT_EQ(keyFrames(packets), c.keyFrames) << c.name;
        // A clip that starts at a key frame in the middle decodes with only the format before it.
        const VideoPacket& middle = packets.at(c.keyFrames.at(1));
        auto decoder = FfmpegFrameDecoder::create(*middle.format);
        Expected<ImageBufferPtr> decoded = decoder->decode(middle);
        ASSERT_TRUE(decoded && decoded.value()) << c.name;
        EXPECT_TRUE(shows(*decoded.value(), 0, 0, kOrange));
    }

    // A key frame the encoder made by itself (a scene cut) restarts the count; late news of an
    // older one changes nothing.
    KeyFrameSchedule schedule(10, 0);
    std::vector<std::int64_t> forced;
    for (std::int64_t i = 0; i < 16; ++i) {
        if (schedule.shouldForceKeyFrame(i, i)) {
            forced.push_back(i);
        }
        if (i == 5) {
            schedule.noteKeyFrame(5, 5);
            schedule.noteKeyFrame(2, 2);
        }
    }
    EXPECT_EQ(forced, (std::vector<std::int64_t>{0, 15}));
}

// A still picture is shown again as a key frame every half second (the capture asks for it): the
// first time after a frame that was no key frame it is encoded, then its bytes are reused at their
// own times; the last picture once more at the end is no key frame.
TEST(FfmpegVideoEncoder, AStillPictureShownAgainReusesItsKeyFrameAndTheStreamDecodesOnFromThere) {
    PacketCollector collector;
    auto encoder = openEncoder(collector, 320, 240);
    ASSERT_NE(encoder, nullptr);
    const struct {
        int picture;
        int time; // in thirtieths
        bool repeat;
    } frames[] = {{0, 0, false}, {1, 1, false},  {1, 16, true}, {1, 31, true},
                  {1, 46, true}, {5, 47, false}, {5, 60, true}};
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        // One at a time, as a capture does, so that none is dropped.
        ASSERT_TRUE(waitUntil([&] { return collector.outputs() >= i; }, std::chrono::seconds(10)));
        VideoFrame frame{picture(320, 240, frames[i].picture), MediaTime(frames[i].time, 30),
                         MediaTime(1, 30)};
        frame.repeat = frames[i].repeat;
        frame.keyFrame = frames[i].repeat && i + 1 < std::size(frames);
        encoder->encode(frame);
    }
    encoder->finish();
    const std::vector<VideoPacket> packets = collector.packets;
    ASSERT_EQ(packets.size(), std::size(frames));
    EXPECT_TRUE(collector.errors.empty());
    EXPECT_EQ(keyFrames(packets), (std::vector<std::size_t>{0, 2, 3, 4}));
    EXPECT_NE(packets[2].data.data(), packets[1].data.data());
    EXPECT_EQ(packets[3].data.data(), packets[2].data.data());
    EXPECT_EQ(packets[4].data.data(), packets[2].data.data());
    EXPECT_TRUE(packets[4].presentationTime == MediaTime(46, 30) && packets[4].duration == MediaTime(1, 30));

    // The square of each frame where it was drawn, decoded from the start and from a reused key
    // frame (a clip cut there).
    const auto squareAt = [](const ImageBuffer& image, int frameNumber) {
        return shows(image, 320 / 4 + frameNumber * 8 + 8, 120, {255, 255, 255}); // its middle
    };
    for (const std::size_t first : {std::size_t{0}, std::size_t{4}}) {
        auto decoder = FfmpegFrameDecoder::create(encoder->format());
        for (std::size_t i = first; i < packets.size(); ++i) {
            Expected<ImageBufferPtr> decoded = decoder->decode(packets[i]);
            ASSERT_TRUE(decoded && decoded.value()) << "packet " << i << " from " << first;
            EXPECT_TRUE(squareAt(*decoded.value(), frames[i].picture)) << "packet " << i << " from " << first;
            EXPECT_FALSE(squareAt(*decoded.value(), frames[i].picture == 1 ? 5 : 1)) << "packet " << i;
        }
    }
}

TEST(FfmpegVideoEncoder, ABurstDropsFramesAndEveryFrameIsAccountedFor) {
    PacketCollector collector;
    // The output takes its first packet only once the whole burst was given, so that the encoder
    // cannot keep up however fast it is.
    std::atomic<bool> burstGiven{false};
    EncoderOutput output = collector.output();
    output.packet = [&, keep = output.packet](const VideoPacket& packet) {
        waitUntil([&] { return burstGiven.load(); }, std::chrono::seconds(10));
        keep(packet);
    };
    auto opened = FfmpegVideoEncoderService().openFfmpeg(settingsFor(1280, 720), output);
    ASSERT_TRUE(opened);
    const std::unique_ptr<FfmpegVideoEncoder> encoder = std::move(opened).value();
    const std::array<ImageBufferPtr, 4> pictures = {picture(1280, 720, 0), picture(1280, 720, 1),
                                                    picture(1280, 720, 2), picture(1280, 720, 3)};
    constexpr int kFrames = 40;
    for (int i = 0; i < kFrames; ++i) {
        encoder->encode({pictures[static_cast<std::size_t>(i) % 4], MediaTime(i, 30), MediaTime(1, 30)});
    }
    burstGiven = true;
    encoder->finish();
    const std::vector<VideoPacket> packets = collector.packets;
    EXPECT_TRUE(collector.errors.empty()) << "a dropped frame is no error";
    EXPECT_GT(encoder->droppedFrames(), 0) << "the encoder cannot keep up with a burst";
    EXPECT_GE(packets.size(), static_cast<std::size_t>(FfmpegVideoEncoder::kMaxQueuedSeconds * 30))
        << "what the queue took was encoded";
    EXPECT_EQ(static_cast<std::int64_t>(packets.size()) + encoder->droppedFrames(), kFrames);
    for (std::size_t i = 1; i < packets.size(); ++i) {
        EXPECT_LT(packets[i - 1].presentationTime, packets[i].presentationTime);
    }
}

TEST(FfmpegVideoEncoder, NothingReachesTheOutputAfterCloseOrFinishAndALostFrameIsReported) {
    std::atomic<bool> closed{false};
    std::atomic<int> lateOutputs{0};
    const auto late = [&](const auto&) {
        lateOutputs += closed ? 1 : 0;
    };
    auto opened = FfmpegVideoEncoderService().open(settingsFor(640, 480), {late, late});
    ASSERT_TRUE(opened);
    std::unique_ptr<VideoEncoder> encoder = std::move(opened).value();
    const ImageBufferPtr frame = picture(640, 480);
    for (int i = 0; i < 10; ++i) {
        encoder->encode({frame, MediaTime(i, 30), MediaTime(1, 30)});
    }
    encoder->close();
    closed = true;
    encoder->encode({frame, MediaTime(11, 30), MediaTime(1, 30)});
    encoder->finish(); // returns at once
    encoder->close();  // a second time changes nothing
    encoder.reset();   // nor does the destructor's
    EXPECT_EQ(lateOutputs.load(), 0);

    // A lost frame is reported and the next one encodes; a finished encoder takes no frames.
    PacketCollector collector;
    auto lossy = openEncoder(collector, 320, 240);
    ASSERT_NE(lossy, nullptr);
    lossy->encode({nullptr, MediaTime(0, 30), MediaTime(1, 30)});
    lossy->encode({frame, MediaTime(1, 30), MediaTime(1, 30)});
    lossy->finish();
    lossy->encode({frame, MediaTime(2, 30), MediaTime(1, 30)});
    ASSERT_EQ(collector.errors.size(), 1u);
    EXPECT_EQ(collector.errors[0].kind, EncoderError::Kind::encodeFailed);
    ASSERT_EQ(collector.packets.size(), 1u);
    EXPECT_TRUE(collector.packets[0].keyFrame);
}

TEST(FfmpegVideoEncoderService, SizesNoEncoderTakesFailAtOpenWithTheSize) {
    for (const auto& [width, height] : std::initializer_list<std::pair<std::int32_t, std::int32_t>>{
             {100'000, 100'000}, {0, 240}, {240, 16385}, {16384, 16384}}) {
        const std::string name = std::to_string(width) + "×" + std::to_string(height);
        auto encoder = FfmpegVideoEncoderService().open(settingsFor(width, height), {});
        ASSERT_FALSE(encoder) << name;
        EXPECT_EQ(encoder.error().kind, EncoderError::Kind::unsupportedSize) << name;
        EXPECT_TRUE(encoder.error().message.contains(QString::fromStdString(name))) << "says which size";
    }
}
