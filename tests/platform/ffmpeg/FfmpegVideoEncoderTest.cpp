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
constexpr Colour kWhite{255, 255, 255};

// Left half orange, right half teal, and a white square that moves along the middle with the
// frame number, as screen content does.
ImageBufferPtr picture(int width, int height, int frameNumber = 0) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    const int squareX = width / 4 + (frameNumber * 8) % (width / 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool square = x >= squareX && x < squareX + 16 && std::abs(y - height / 2) < 8;
            const Colour colour = square ? kWhite : x < width / 2 ? kOrange : kTeal;
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

// Gives the frames one at a time, as a capture does, each once everything before it came out, so
// that none is dropped; then finishes.
void encodeInTurn(FfmpegVideoEncoder& encoder, PacketCollector& collector, const std::vector<VideoFrame>& frames) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(waitUntil([&] { return collector.outputs() >= i; }, std::chrono::seconds(10))) << i;
        encoder.encode(frames[i]);
    }
    encoder.finish();
    EXPECT_TRUE(collector.errors.empty());
    EXPECT_EQ(collector.packets.size(), frames.size());
}

std::vector<std::size_t> keyFrames(const std::vector<VideoPacket>& packets) {
    std::vector<std::size_t> keys;
    std::ranges::copy_if(std::views::iota(0u, packets.size()), std::back_inserter(keys),
                         [&](std::size_t i) { return packets[i].keyFrame; });
    return keys;
}

} // namespace

TEST(FfmpegVideoEncoder, PacketsDecodeToTheSourceColoursWithTheFramesTimes) {
    // The encoder's size, the pictures' (another size is scaled to the encoder's), and how many: over
    // 1.5 s, the encoder's schedule shows, a key frame every half second.
    const struct {
        int width, height, pictureWidth, pictureHeight, count;
    } cases[] = {{1920, 1080, 1920, 1080, 3}, {1919, 1079, 1919, 1079, 3}, {320, 240, 640, 480, 46}};
    for (const auto& size : cases) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        PacketCollector collector;
        auto encoder = openEncoder(collector, size.width, size.height);
        ASSERT_NE(encoder, nullptr);
        EXPECT_TRUE(encoder->format().width == size.width && encoder->format().height == size.height);
        // 29.97 frames per second at a scale of its own: the packets carry these exact values.
        std::vector<VideoFrame> frames;
        for (int i = 0; i < size.count; ++i) {
            frames.push_back({picture(size.pictureWidth, size.pictureHeight, i),
                              MediaTime(1001 * i + 7, 30000), MediaTime(1001, 30000)});
        }
        ASSERT_NO_FATAL_FAILURE(encodeInTurn(*encoder, collector, frames));
        const std::vector<VideoPacket> packets = collector.packets;
        const std::vector<std::size_t> keys =
            size.count == 3 ? std::vector<std::size_t>{0} : std::vector<std::size_t>{0, 15, 30, 45};
        EXPECT_EQ(keyFrames(packets), keys);
        // Annex B parameter sets: a start code, then the sequence parameter set (NAL unit type 7).
        const std::vector<std::byte>& parameterSets = encoder->format().codecConfiguration;
        ASSERT_GE(parameterSets.size(), 8u);
        EXPECT_EQ(std::to_integer<int>(parameterSets[parameterSets[2] == std::byte{1} ? 3 : 4]) & 0x1F, 7);
        auto decoder = FfmpegFrameDecoder::create(encoder->format());
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
            EXPECT_TRUE(shows(image, 0, size.height - 1, kOrange));
            EXPECT_TRUE(shows(image, size.width - 1, size.height - 1, kTeal));
        }
    }
}

// A key frame at least every N frames and every T of presentation time, whichever comes first, so
// that a clip cut anywhere starts close to one; one the encoder made by itself (a scene cut)
// restarts the count, and late news of an older one changes nothing. Times in 1/120 s.
TEST(KeyFrameSchedule, EveryIntervalOfFramesOrOfTimeWhicheverComesFirst) {
    const auto every = [](int count, int step) {
        std::vector<std::int64_t> ticks;
        for (int i = 0; i < count; ++i) {
            ticks.push_back(i * step);
        }
        return ticks;
    };
    const std::tuple<const char*, KeyFrameSchedule, std::vector<std::int64_t>, std::vector<std::int64_t>>
        rows[] = {
            {"30 a second: the half second first", {30, 60}, every(46, 4), {0, 15, 30, 45}},
            {"120 a second: the 30 frames first", {30, 60}, every(70, 1), {0, 30, 60}},
            {"a still screen for 0.6 s: time, not frames, counts", {30, 60}, {0, 4, 8, 80, 84, 88}, {0, 3}},
            {"a key frame of the encoder's own at 5", {10, 0}, every(16, 1), {0, 15}},
        };
    for (auto [name, schedule, ticks, forced] : rows) {
        std::vector<std::int64_t> shown;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            const auto index = static_cast<std::int64_t>(i);
            if (schedule.shouldForceKeyFrame(index, ticks[i])) {
                shown.push_back(index);
            }
            if (index == 5 && std::string_view(name).ends_with("at 5")) {
                schedule.noteKeyFrame(5, ticks[i]);
                schedule.noteKeyFrame(2, ticks[2]);
            }
        }
        EXPECT_EQ(shown, forced) << name;
    }
}

// A still picture is shown again as a key frame every half second (the capture asks for it): the
// first time after a frame that was no key frame it is encoded, then its bytes are reused at their
// own times; the last picture once more at the end is no key frame. The stream decodes on from a
// reused key frame (a clip cut there, with only the format before it) as from the start.
TEST(FfmpegVideoEncoder, AStillPictureShownAgainReusesItsKeyFrameAndTheStreamDecodesOnFromThere) {
    PacketCollector collector;
    auto encoder = openEncoder(collector, 320, 240);
    ASSERT_NE(encoder, nullptr);
    const std::pair<int, int> shown[] = {{0, 0}, {1, 1}, {1, 16}, {1, 31}, {1, 46}, {5, 47}, {5, 60}}; // picture, time
    const std::vector<bool> repeats{false, false, true, true, true, false, true};
    std::vector<VideoFrame> frames;
    for (std::size_t i = 0; i < repeats.size(); ++i) {
        frames.push_back({picture(320, 240, shown[i].first), MediaTime(shown[i].second, 30), MediaTime(1, 30)});
        frames.back().repeat = repeats[i];
        frames.back().keyFrame = repeats[i] && i + 1 < repeats.size();
    }
    ASSERT_NO_FATAL_FAILURE(encodeInTurn(*encoder, collector, frames));
    const std::vector<VideoPacket>& packets = collector.packets;
    EXPECT_EQ(keyFrames(packets), (std::vector<std::size_t>{0, 2, 3, 4}));
    EXPECT_NE(packets[2].data.data(), packets[1].data.data());
    EXPECT_TRUE(packets[3].data.data() == packets[2].data.data() && packets[4].data.data() == packets[2].data.data());
    EXPECT_TRUE(packets[4].presentationTime == MediaTime(46, 30) && packets[4].duration == MediaTime(1, 30));
    const auto squareAt = [](const ImageBuffer& image, int frameNumber) {
        return shows(image, 320 / 4 + frameNumber * 8 + 8, 120, kWhite); // its middle
    };
    for (const std::size_t first : {std::size_t{0}, std::size_t{4}}) {
        auto decoder = FfmpegFrameDecoder::create(encoder->format());
        for (std::size_t i = first; i < packets.size(); ++i) {
            Expected<ImageBufferPtr> decoded = decoder->decode(packets[i]);
            ASSERT_TRUE(decoded && decoded.value()) << "packet " << i << " from " << first;
            EXPECT_TRUE(squareAt(*decoded.value(), shown[i].first)) << "packet " << i << " from " << first;
            EXPECT_FALSE(squareAt(*decoded.value(), shown[i].first == 1 ? 5 : 1)) << "packet " << i;
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
    constexpr int kFrames = 40;
    for (int i = 0; i < kFrames; ++i) {
        encoder->encode({picture(1280, 720, i % 4), MediaTime(i, 30), MediaTime(1, 30)});
    }
    burstGiven = true;
    encoder->finish();
    const std::vector<VideoPacket> packets = collector.packets;
    EXPECT_TRUE(collector.errors.empty()) << "a dropped frame is no error";
    EXPECT_GT(encoder->droppedFrames(), 0) << "the encoder cannot keep up with a burst";
    EXPECT_GE(packets.size(), static_cast<std::size_t>(FfmpegVideoEncoder::kMaxQueuedSeconds * 30))
        << "what the queue took was encoded";
    EXPECT_EQ(static_cast<std::int64_t>(packets.size()) + encoder->droppedFrames(), kFrames);
    EXPECT_TRUE(std::ranges::is_sorted(packets, {}, &VideoPacket::presentationTime));
}

// Nothing reaches the output after close() or finish(), a second time or from the destructor; a
// lost frame is reported and the next one encodes.
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
    encoder->finish();
    encoder->close();
    encoder.reset();
    EXPECT_EQ(lateOutputs.load(), 0);

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

    for (const auto& [width, height] : std::initializer_list<std::pair<std::int32_t, std::int32_t>>{
             {100'000, 100'000}, {0, 240}, {240, 16385}, {16384, 16384}}) {
        const std::string name = std::to_string(width) + "×" + std::to_string(height);
        auto refused = FfmpegVideoEncoderService().open(settingsFor(width, height), {});
        ASSERT_FALSE(refused) << name;
        EXPECT_EQ(refused.error().kind, EncoderError::Kind::unsupportedSize) << name;
        EXPECT_TRUE(refused.error().message.contains(QString::fromStdString(name))) << "says which size";
    }
}
