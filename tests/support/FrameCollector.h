#pragma once

// What the capture backends' tests take a source's frames with, and their fixture.

#include "platform/VideoSource.h"
#include "support/Await.h"
#include "support/ChildProcess.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <QTest>

namespace backreel::test {

// What colourAt() gives before the first picture: no 0xRRGGBB colour.
inline constexpr std::uint32_t kNoPicture = 0xFF000000;

// 0xRRGGBB of a pixel of a BGRA picture.
inline std::uint32_t colourAt(const ImageBuffer& image, int x, int y) {
    std::uint32_t bgra = 0; // a little-endian word: 0xAARRGGBB
    const auto row = static_cast<std::size_t>(y) * image.bytesPerRow();
    std::memcpy(&bgra, image.baseAddress() + row + static_cast<std::size_t>(x) * 4, 4);
    return bgra & 0xFFFFFF;
}

// Whether two 0xRRGGBB colours are the same but for the conversions' rounding.
inline bool similarColour(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (unsigned shift = 0; shift < 32; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            tolerance) {
            return false;
        }
    }
    return true;
}

// Keeps the newest picture, each frame's time and arrival, and one pixel of every picture; takes
// `delay` over each frame to stand in for a slow consumer.
class FrameCollector final : public FrameSink {
public:
    struct Arrival {
        MediaTime presentationTime;
        MediaTime receivedAt; // CLOCK_MONOTONIC, read here rather than through the code under test
    };
    explicit FrameCollector(std::chrono::milliseconds delay = {})
        : delay_(delay) {}

    void takeFrame(const VideoFrame& frame) override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        {
            std::lock_guard lock(mutex_);
            if (frame.image) {
                latest_ = frame;
                probed_.push_back(test::colourAt(*frame.image, probeX_, probeY_));
            }
            arrivals_.push_back(
                {frame.presentationTime,
                 MediaTime(std::chrono::duration_cast<std::chrono::microseconds>(now).count(), 1'000'000)});
        }
        std::this_thread::sleep_for(delay_);
    }

    void probeAt(int x, int y) {
        std::lock_guard lock(mutex_);
        probeX_ = x;
        probeY_ = y;
    }
    std::vector<std::uint32_t> probed() const {
        std::lock_guard lock(mutex_);
        return probed_;
    }
    int pictures() const { return static_cast<int>(probed().size()); }
    std::optional<VideoFrame> latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    std::vector<Arrival> arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    int frames() const { return static_cast<int>(arrivals().size()); }

    // 0xRRGGBB of a pixel of the newest picture; kNoPicture before the first.
    std::uint32_t colourAt(int x, int y) const {
        const std::optional<VideoFrame> frame = latest();
        return frame ? test::colourAt(*frame->image, x, y) : kNoPicture;
    }
    bool waitForColour(int x, int y, std::uint32_t colour, int tolerance = 0) const {
        return waitUntil([&] { return similarColour(colourAt(x, y), colour, tolerance); });
    }

private:
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::optional<VideoFrame> latest_;
    std::vector<Arrival> arrivals_;
    std::vector<std::uint32_t> probed_;
    int probeX_ = 0;
    int probeY_ = 0;
};

// The capture backends' fixture: sources started into collectors of their own, and how they ended.
class SourceTest : public ::testing::Test {
protected:
    static VideoSourceSettings settings(std::int32_t width, std::int32_t height,
                                        std::optional<QRectF> sourceRect = {}, int frameRate = 30) {
        return {.width = width,
                .height = height,
                .frameInterval = MediaTime(1, frameRate),
                .sourceRect = sourceRect,
                .scalesToFit = !sourceRect.has_value()};
    }
    void watch(VideoSource& source) {
        QObject::connect(&source, &VideoSource::ended,
                         [this](const CaptureError& reason) { ends_.push_back(reason); });
    }
    // The source started, its frames going to a new collector_; null when it failed.
    template <typename Source>
    std::unique_ptr<Source> start(std::unique_ptr<Source> source, std::chrono::milliseconds frameDelay = {}) {
        // Earlier collectors stay: a source the test still holds may run on into its own.
        collectors_.push_back(collector_ = std::make_shared<FrameCollector>(frameDelay));
        if (!source) {
            ADD_FAILURE() << "no source";
            return nullptr;
        }
        watch(*source);
        const std::optional<CaptureError> failure = QCoro::waitFor(source->start(*collector_));
        EXPECT_FALSE(failure) << (failure ? failure->message.toStdString() : std::string());
        return failure ? nullptr : std::move(source);
    }
    bool waitForColour(int x, int y, std::uint32_t colour) const {
        return collector_->waitForColour(x, y, colour, tolerance_);
    }
    // The source ends by itself, once, for this reason.
    void expectEnd(const CaptureError& reason, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ends_.empty(); }, static_cast<int>(timeout.count())));
        QTest::qWait(150);
        EXPECT_EQ(ends_, std::vector{reason});
    }

    int tolerance_ = 0; // how far a colour may stray through the conversions
    std::shared_ptr<FrameCollector> collector_;
    std::vector<std::shared_ptr<FrameCollector>> collectors_;
    std::vector<CaptureError> ends_;
};

} // namespace backreel::test
