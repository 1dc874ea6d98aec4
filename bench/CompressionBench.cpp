#include "platform/ffmpeg/FfmpegCompressionService.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

using namespace backreel;

namespace {

constexpr int kLargestWidth = 2560;
constexpr int kLargestHeight = 1440;

// A tall page of screen content: a soft gradient, lines of text-like glyph blocks and a few
// photo-like noisy panels. Frames are windows into it that scroll down and sideways, so every
// frame differs from the last the way a scrolled web page or editor does.
class ScrollingPage {
public:
    static constexpr int kPageWidth = kLargestWidth + 256;
    static constexpr int kPageHeight = 4 * kLargestHeight;

    ScrollingPage()
        : pixels_(std::make_shared<std::vector<std::byte>>(kStride * static_cast<std::size_t>(kPageHeight))) {
        std::mt19937 random(7);
        auto* page = reinterpret_cast<std::uint8_t*>(pixels_->data());
        auto at = [page](int x, int y) {
            return page + static_cast<std::size_t>(y) * kStride + static_cast<std::size_t>(x) * 4;
        };
        for (int y = 0; y < kPageHeight; ++y) {
            for (int x = 0; x < kPageWidth; ++x) {
                std::uint8_t* pixel = at(x, y);
                pixel[0] = static_cast<std::uint8_t>(220 + (x >> 6) % 30);
                pixel[1] = static_cast<std::uint8_t>(225 + (y >> 7) % 25);
                pixel[2] = static_cast<std::uint8_t>(230);
                pixel[3] = 255;
            }
        }
        // Text: 8×14 glyph cells, each a random pattern of dark strokes, on 20-pixel lines.
        std::bernoulli_distribution ink(0.35);
        for (int line = 40; line + 14 < kPageHeight; line += 20) {
            const int lineLength = 400 + static_cast<int>(random() % 1800);
            for (int x = 60; x < 60 + lineLength; ++x) {
                const int column = x % 8;
                for (int y = line; y < line + 14; ++y) {
                    if (column < 6 && ink(random)) {
                        std::uint8_t* pixel = at(x, y);
                        pixel[0] = pixel[1] = pixel[2] = 30;
                    }
                }
            }
        }
        // Photo-like panels: smooth colour with noise.
        std::uniform_int_distribution<int> noise(-12, 12);
        for (int panel = 0; panel < 8; ++panel) {
            const int top = 300 + panel * 650;
            const int left = 900 + (panel % 3) * 200;
            for (int y = top; y < top + 360; ++y) {
                for (int x = left; x < left + 640; ++x) {
                    std::uint8_t* pixel = at(x, y);
                    pixel[0] =
                        static_cast<std::uint8_t>(std::clamp(((x - left) / 3) + noise(random), 0, 255));
                    pixel[1] = static_cast<std::uint8_t>(std::clamp(((y - top) / 2) + noise(random), 0, 255));
                    pixel[2] =
                        static_cast<std::uint8_t>(std::clamp(128 + panel * 15 + noise(random), 0, 255));
                }
            }
        }
    }

    // The frameNumber-th screen of the given size: 6 lines down and 2 pixels across per frame.
    ImageBufferPtr frame(int width, int height, std::int64_t frameNumber) const {
        const std::int64_t top = (frameNumber * 6) % (kPageHeight - height);
        const std::int64_t left = (frameNumber * 2) % (kPageWidth - width);
        std::byte* origin =
            pixels_->data() + static_cast<std::size_t>(top) * kStride + static_cast<std::size_t>(left) * 4;
        return ImageBuffer::wrap(pixels_, origin, width, height, kStride);
    }

private:
    static constexpr std::size_t kStride = static_cast<std::size_t>(kPageWidth) * 4;
    std::shared_ptr<std::vector<std::byte>> pixels_;
};

const ScrollingPage& page() {
    static const ScrollingPage instance;
    return instance;
}

// The scrolling page with a video playing in a window half the screen's size: the video's pixels
// are new in every frame (a moving pattern under grain), which motion search cannot predict well.
// The harder of the two loads; its frames are made once per size, up front.
class PageWithVideo {
public:
    static constexpr int kFrameCount = 24;

    PageWithVideo(int width, int height) {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> grain(-20, 20);
        const int videoLeft = width / 5;
        const int videoTop = height / 5;
        for (int index = 0; index < kFrameCount; ++index) {
            const ImageBufferPtr view = page().frame(width, height, index);
            ImageBufferPtr frame = ImageBuffer::allocate(width, height);
            for (int y = 0; y < height; ++y) {
                std::memcpy(frame->mutableBaseAddress() + static_cast<std::size_t>(y) * frame->bytesPerRow(),
                            view->baseAddress() + static_cast<std::size_t>(y) * view->bytesPerRow(),
                            frame->bytesPerRow());
            }
            auto* pixels = reinterpret_cast<std::uint8_t*>(frame->mutableBaseAddress());
            for (int y = videoTop; y < videoTop + height / 2; ++y) {
                for (int x = videoLeft; x < videoLeft + width / 2; ++x) {
                    std::uint8_t* pixel = pixels + static_cast<std::size_t>(y) * frame->bytesPerRow() +
                                          static_cast<std::size_t>(x) * 4;
                    const int wave = ((x + index * 9) ^ (y - index * 5)) & 0xFF;
                    pixel[0] = static_cast<std::uint8_t>(std::clamp(wave / 2 + grain(random) + 40, 0, 255));
                    pixel[1] =
                        static_cast<std::uint8_t>(std::clamp((y * 255 / height) + grain(random), 0, 255));
                    pixel[2] = static_cast<std::uint8_t>(std::clamp(255 - wave + grain(random), 0, 255));
                }
            }
            frames_.push_back(std::move(frame));
        }
    }

    ImageBufferPtr frame(std::int64_t frameNumber) const {
        return frames_[static_cast<std::size_t>(frameNumber % kFrameCount)];
    }

private:
    std::vector<ImageBufferPtr> frames_;
};

enum class Content { scrollingPage, pageWithVideo };

// Frames of the given content and size; videos are made on first use and kept.
class ScreenSource {
public:
    ScreenSource(Content content, int width, int height)
        : content_(content)
        , width_(width)
        , height_(height) {
        if (content == Content::pageWithVideo) {
            static std::map<std::pair<int, int>, std::shared_ptr<const PageWithVideo>> videos;
            auto& video = videos[{width, height}];
            if (!video) {
                video = std::make_shared<const PageWithVideo>(width, height);
            }
            video_ = video;
        }
    }

    ImageBufferPtr frame(std::int64_t frameNumber) const {
        return content_ == Content::scrollingPage ? page().frame(width_, height_, frameNumber)
                                                  : video_->frame(frameNumber);
    }

private:
    Content content_;
    int width_;
    int height_;
    std::shared_ptr<const PageWithVideo> video_;
};

// Counts what the session delivers, so the benchmark can keep the encoder busy without dropping.
class DeliveryCounter {
public:
    static void callback(void* refcon, std::int32_t status, const MediaSamplePtr& sample) {
        auto* counter = static_cast<DeliveryCounter*>(refcon);
        {
            std::lock_guard lock(counter->mutex_);
            ++counter->delivered_;
            counter->dropped_ += status == 0 && !sample ? 1 : 0;
        }
        counter->changed_.notify_all();
    }

    void waitForDelivered(std::int64_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return delivered_ >= count; });
    }

    std::int64_t dropped() {
        std::lock_guard lock(mutex_);
        return dropped_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t delivered_ = 0;
    std::int64_t dropped_ = 0;
};

std::shared_ptr<CompressionSession> recorderSession(const char* preset, int width, int height,
                                                    DeliveryCounter& counter) {
    FfmpegCompressionService service(FfmpegCompressionOptions{preset});
    std::shared_ptr<CompressionSession> session;
    if (service.createSession(width, height, codec::h264, nullptr, DeliveryCounter::callback, &counter,
                              &session) != 0) {
        return nullptr;
    }
    session->setProperty(CompressionProperty::realTime, true);
    session->setProperty(CompressionProperty::averageBitRate, std::int64_t{20'000'000});
    session->setProperty(CompressionProperty::allowFrameReordering, false);
    session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{30});
    session->setProperty(CompressionProperty::maxKeyFrameIntervalDuration, 0.5);
    session->setProperty(CompressionProperty::profileLevel, ProfileLevel::h264HighAutoLevel);
    return session->prepareToEncodeFrames() == 0 ? session : nullptr;
}

} // namespace

// Sustained H.264 software encoding of a busy screen through the real session, as the recorder
// sets it up (20 Mbit/s, a key frame every 0.5 s); arguments: width, height. The benchmark waits
// while two frames are outstanding, so the encoder never idles and nothing is dropped; "fps" is
// frames encoded per second of wall time, the conversion from BGRA included.
static void BM_EncodeH264Software(benchmark::State& state, const char* preset, Content content) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const ScreenSource source(content, width, height);
    DeliveryCounter counter;
    auto session = recorderSession(preset, width, height, counter);
    if (!session) {
        state.SkipWithError("libx264 did not open");
        return;
    }
    std::int64_t submitted = 0;
    for (auto _ : state) {
        counter.waitForDelivered(submitted - 2);
        session->encodeFrame(source.frame(submitted), MediaTime(submitted * 3000, kTimeScale),
                             MediaTime(3000, kTimeScale));
        ++submitted;
    }
    session->completeFrames(MediaTime::invalid());
    session->invalidate();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(submitted), benchmark::Counter::kIsRate);
    state.counters["dropped"] = static_cast<double>(counter.dropped());
}
BENCHMARK_CAPTURE(BM_EncodeH264Software, ultrafast_page, "ultrafast", Content::scrollingPage)
    ->Args({1920, 1080})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_EncodeH264Software, superfast_page, "superfast", Content::scrollingPage)
    ->Args({1920, 1080})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_EncodeH264Software, veryfast_page, "veryfast", Content::scrollingPage)
    ->Args({1920, 1080})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_EncodeH264Software, ultrafast_video, "ultrafast", Content::pageWithVideo)
    ->Args({1920, 1080})
    ->Args({2560, 1440})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_EncodeH264Software, superfast_video, "superfast", Content::pageWithVideo)
    ->Args({1920, 1080})
    ->Args({2560, 1440})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_EncodeH264Software, veryfast_video, "veryfast", Content::pageWithVideo)
    ->Args({1920, 1080})
    ->Args({2560, 1440})
    ->UseRealTime()
    ->MinTime(2.0);

// What encodeFrame() costs its caller (the capture queue) for a 1920×1080 frame: the BGRA to
// YUV conversion and the queueing. The wait for the encoder is not timed.
static void BM_EncodeFrameCallerCost1080p(benchmark::State& state) {
    const ScreenSource source(Content::scrollingPage, 1920, 1080);
    DeliveryCounter counter;
    auto session = recorderSession("ultrafast", 1920, 1080, counter);
    if (!session) {
        state.SkipWithError("libx264 did not open");
        return;
    }
    std::int64_t submitted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        counter.waitForDelivered(submitted);
        const ImageBufferPtr frame = source.frame(submitted);
        state.ResumeTiming();
        session->encodeFrame(frame, MediaTime(submitted * 3000, kTimeScale), MediaTime(3000, kTimeScale));
        ++submitted;
    }
    session->invalidate();
}
BENCHMARK(BM_EncodeFrameCallerCost1080p)->Unit(benchmark::kMicrosecond);
