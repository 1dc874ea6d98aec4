#pragma once

// Driving the FFmpeg video encoder in tests: an output that collects what comes out, pictures
// with known colours, and an encoder set up the way the recorder sets one up.

#include "platform/ffmpeg/FfmpegVideoEncoder.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace backreel::test {

// Everything an encoder hands to its output, in order.
class PacketCollector {
public:
    EncoderOutput output() {
        return EncoderOutput{[this](const VideoPacket& packet) { add(&packets_, packet); },
                             [this](const EncoderError& error) {
                                 add(&errors_, error);
                             }};
    }

    // True once count packets and errors together came out; gives up after ten seconds.
    bool waitForOutputs(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return packets_.size() + errors_.size() >= count; });
    }

    std::vector<VideoPacket> packets() const {
        std::lock_guard lock(mutex_);
        return packets_;
    }
    std::vector<EncoderError> errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

private:
    template <typename T> void add(std::vector<T>* list, const T& item) {
        {
            std::lock_guard lock(mutex_);
            list->push_back(item);
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<VideoPacket> packets_;
    std::vector<EncoderError> errors_;
};

struct Bgra {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
};

// Red and blue differ, so swapped channels or chroma planes show.
inline constexpr Bgra kOrange{30, 120, 230};
inline constexpr Bgra kTeal{170, 140, 20};

// A picture whose pixels are colourAt(x, y).
template <typename ColourAt> ImageBufferPtr paintedPicture(int width, int height, ColourAt colourAt) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    auto* pixels = reinterpret_cast<std::uint8_t*>(image->mutableBaseAddress());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgra colour = colourAt(x, y);
            std::uint8_t* pixel = pixels + static_cast<std::size_t>(y) * image->bytesPerRow() + 4 * x;
            pixel[0] = colour.blue;
            pixel[1] = colour.green;
            pixel[2] = colour.red;
            pixel[3] = 255;
        }
    }
    return image;
}

// Left half orange, right half teal.
inline ImageBufferPtr twoColourPicture(int width, int height) {
    return paintedPicture(width, height, [&](int x, int) { return x < width / 2 ? kOrange : kTeal; });
}

// A screen-like picture that changes with frameNumber: a drifting gradient under a white square
// that moves across it.
inline ImageBufferPtr movingPicture(int width, int height, int frameNumber) {
    const int squareX = (frameNumber * 6) % (width - 32);
    const int squareY = (frameNumber * 4) % (height - 32);
    return paintedPicture(width, height, [&](int x, int y) {
        if (x >= squareX && x < squareX + 32 && y >= squareY && y < squareY + 32) {
            return Bgra{255, 255, 255};
        }
        return Bgra{static_cast<std::uint8_t>((x + frameNumber * 3) & 0xFF),
                    static_cast<std::uint8_t>((y * 2) & 0xFF), static_cast<std::uint8_t>((x + y) & 0xFF)};
    });
}

inline Bgra pixelAt(const ImageBuffer& image, int x, int y) {
    const auto* pixel = reinterpret_cast<const std::uint8_t*>(image.baseAddress()) +
                        static_cast<std::size_t>(y) * image.bytesPerRow() + 4 * x;
    return Bgra{pixel[0], pixel[1], pixel[2]};
}

inline void expectColourNear(Bgra actual, Bgra expected, const char* where) {
    constexpr int kTolerance = 12; // a YUV round trip through a lossy encoder
    EXPECT_NEAR(actual.blue, expected.blue, kTolerance) << where << ": blue";
    EXPECT_NEAR(actual.green, expected.green, kTolerance) << where << ": green";
    EXPECT_NEAR(actual.red, expected.red, kTolerance) << where << ": red";
}

// H.264 as the recorder asks for it (High, a key frame at least every 30 frames and 0.5 s), at a
// bit rate for small test pictures.
inline VideoEncoderSettings testSettings(int width, int height) {
    VideoEncoderSettings settings;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = 2'000'000;
    return settings;
}

inline std::unique_ptr<FfmpegVideoEncoder> openTestEncoder(PacketCollector& collector, int width,
                                                           int height) {
    FfmpegVideoEncoderService service;
    auto encoder = service.openFfmpeg(testSettings(width, height), collector.output());
    EXPECT_TRUE(encoder) << encoder.error().message.toStdString();
    return encoder ? std::move(encoder).value() : nullptr;
}

// Gives the frames to the encoder without a drop: a new group of kMaxPendingFrames starts once
// everything before it came out. The last group may still be queued when this returns.
inline void encodeWithoutDrops(VideoEncoder& encoder, PacketCollector& collector,
                               const std::vector<VideoFrame>& frames) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i % FfmpegVideoEncoder::kMaxPendingFrames == 0) {
            ASSERT_TRUE(collector.waitForOutputs(i)) << "frame " << i << " is still in the encoder";
        }
        encoder.encode(frames[i]);
    }
}

inline std::vector<int> keyFrameIndices(const std::vector<VideoPacket>& packets) {
    std::vector<int> indices;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].keyFrame) {
            indices.push_back(static_cast<int>(i));
        }
    }
    return indices;
}

} // namespace backreel::test
