#pragma once

// Driving a compression session in tests: an output collector, screen-like pictures, colours,
// and a session set up the way the recorder sets one up.

#include "capture/VideoCompression.h"
#include "export/ClipSelection.h"
#include "platform/ffmpeg/FfmpegCompressionService.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace backreel::test {

using namespace std::chrono_literals;

// Everything a session hands to its output callback, in order.
class OutputCollector {
public:
    struct Output {
        std::int32_t status = 0;
        MediaSamplePtr sample;
    };

    static void callback(void* refcon, std::int32_t status, const MediaSamplePtr& sample) {
        static_cast<OutputCollector*>(refcon)->add(status, sample);
    }

    void add(std::int32_t status, const MediaSamplePtr& sample) {
        {
            std::lock_guard lock(mutex_);
            outputs_.push_back(Output{status, sample});
        }
        changed_.notify_all();
    }

    // True once at least count outputs arrived; gives up after a few seconds.
    bool waitForOutputs(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return outputs_.size() >= count; });
    }

    std::vector<Output> outputs() const {
        std::lock_guard lock(mutex_);
        return outputs_;
    }

    std::vector<MediaSamplePtr> samples() const {
        std::vector<MediaSamplePtr> result;
        for (const Output& output : outputs()) {
            if (output.status == 0 && output.sample) {
                result.push_back(output.sample);
            }
        }
        return result;
    }

    int drops() const {
        int count = 0;
        for (const Output& output : outputs()) {
            count += output.status == 0 && !output.sample ? 1 : 0;
        }
        return count;
    }

    int errors() const {
        int count = 0;
        for (const Output& output : outputs()) {
            count += output.status != 0 ? 1 : 0;
        }
        return count;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Output> outputs_;
};

struct Bgra {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
};

// A screen-like picture that changes with frameNumber: a gradient that drifts, and a white square
// that moves across it.
inline ImageBufferPtr movingPicture(int width, int height, int frameNumber) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    auto* pixels = reinterpret_cast<std::uint8_t*>(image->mutableBaseAddress());
    const int squareX = (frameNumber * 6) % (width - 32);
    const int squareY = (frameNumber * 4) % (height - 32);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + static_cast<std::size_t>(y) * image->bytesPerRow();
        for (int x = 0; x < width; ++x) {
            const bool inSquare = x >= squareX && x < squareX + 32 && y >= squareY && y < squareY + 32;
            std::uint8_t* pixel = row + 4 * x;
            pixel[0] = inSquare ? 255 : static_cast<std::uint8_t>((x + frameNumber * 3) & 0xFF);
            pixel[1] = inSquare ? 255 : static_cast<std::uint8_t>((y * 2) & 0xFF);
            pixel[2] = inSquare ? 255 : static_cast<std::uint8_t>((x + y) & 0xFF);
            pixel[3] = 255;
        }
    }
    return image;
}

// Left half one colour, right half another.
inline ImageBufferPtr twoColourPicture(int width, int height, Bgra left, Bgra right) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    auto* pixels = reinterpret_cast<std::uint8_t*>(image->mutableBaseAddress());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgra colour = x < width / 2 ? left : right;
            std::uint8_t* pixel = pixels + static_cast<std::size_t>(y) * image->bytesPerRow() + 4 * x;
            pixel[0] = colour.blue;
            pixel[1] = colour.green;
            pixel[2] = colour.red;
            pixel[3] = 255;
        }
    }
    return image;
}

inline Bgra pixelAt(const ImageBuffer& image, int x, int y) {
    const auto* pixel = reinterpret_cast<const std::uint8_t*>(image.baseAddress()) +
                        static_cast<std::size_t>(y) * image.bytesPerRow() + 4 * x;
    return Bgra{pixel[0], pixel[1], pixel[2]};
}

inline void expectColourNear(Bgra actual, Bgra expected, const char* where) {
    constexpr int kTolerance = 12; // YUV 4:2:0 round trip through a lossy encoder
    EXPECT_NEAR(actual.blue, expected.blue, kTolerance) << where << ": blue";
    EXPECT_NEAR(actual.green, expected.green, kTolerance) << where << ": green";
    EXPECT_NEAR(actual.red, expected.red, kTolerance) << where << ": red";
}

inline std::vector<int> keyFrameIndices(const std::vector<MediaSamplePtr>& samples) {
    std::vector<int> indices;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (isKeyframe(*samples[i])) {
            indices.push_back(static_cast<int>(i));
        }
    }
    return indices;
}

// An H.264 session set up the way the recorder sets one up, its output going to the collector.
inline std::shared_ptr<CompressionSession> recorderLikeSession(OutputCollector& collector, int width = 320,
                                                               int height = 240) {
    FfmpegCompressionService service;
    std::shared_ptr<CompressionSession> session;
    const std::int32_t status = service.createSession(width, height, codec::h264, nullptr,
                                                      OutputCollector::callback, &collector, &session);
    EXPECT_EQ(status, 0);
    if (!session) {
        return nullptr;
    }
    EXPECT_EQ(session->setProperty(CompressionProperty::realTime, true), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::averageBitRate, std::int64_t{2'000'000}), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::allowFrameReordering, false), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{30}), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameIntervalDuration, 0.5), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::profileLevel, ProfileLevel::h264HighAutoLevel), 0);
    EXPECT_EQ(session->prepareToEncodeFrames(), 0);
    return session;
}

// Submits one frame and waits for its output, so that nothing is dropped.
inline void encodeAndWait(CompressionSession& session, OutputCollector& collector,
                          const ImageBufferPtr& image, MediaTime pts, MediaTime duration) {
    const std::size_t before = collector.outputs().size();
    ASSERT_EQ(session.encodeFrame(image, pts, duration), 0);
    ASSERT_TRUE(collector.waitForOutputs(before + 1))
        << "no output for the frame at " << pts.seconds() << " s";
}

} // namespace backreel::test
