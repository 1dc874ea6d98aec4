#include "RecorderEncoder.h"
#include "ScreenContent.h"

#include <benchmark/benchmark.h>
#include <condition_variable>
#include <cstdint>
#include <mutex>

using namespace backreel;
using backreel::bench::Content;
using backreel::bench::ScreenSource;

namespace {

// Counts the packets an encoder delivers, so the benchmark can keep it busy without dropping.
class DeliveryCounter {
public:
    EncoderOutput output() {
        return EncoderOutput{[this](const VideoPacket&) { count(); },
                             [this](const EncoderError&) {
                                 count();
                             }};
    }

    void waitForDelivered(std::int64_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return delivered_ >= count; });
    }

private:
    void count() {
        {
            std::lock_guard lock(mutex_);
            ++delivered_;
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t delivered_ = 0;
};

} // namespace

// Sustained H.264 software encoding of a busy screen through the real encoder, as the recorder
// sets it up (20 Mbit/s, a key frame every 0.5 s); arguments: width, height. The benchmark waits
// while two frames are outstanding, so the encoder never idles and nothing is dropped; "fps" is
// frames encoded per second of wall time, the conversion from BGRA included.
static void BM_EncodeH264Software(benchmark::State& state, const char* preset, Content content) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const ScreenSource source(content, width, height);
    DeliveryCounter counter;
    auto encoder = bench::recorderEncoder(preset, width, height, counter.output());
    if (!encoder) {
        state.SkipWithError("libx264 did not open");
        return;
    }
    std::int64_t submitted = 0;
    for (auto _ : state) {
        counter.waitForDelivered(submitted - 2);
        encoder->encode(
            {source.frame(submitted), MediaTime(submitted * 3000, kTimeScale), MediaTime(3000, kTimeScale)});
        ++submitted;
    }
    encoder->finish();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(submitted), benchmark::Counter::kIsRate);
    state.counters["dropped"] = static_cast<double>(encoder->droppedFrames());
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

// What encode() costs its caller (the capture queue) for a 1920×1080 frame: the BGRA to
// YUV conversion and the queueing. The wait for the encoder is not timed.
static void BM_EncodeFrameCallerCost1080p(benchmark::State& state) {
    const ScreenSource source(Content::scrollingPage, 1920, 1080);
    DeliveryCounter counter;
    auto encoder = bench::recorderEncoder("ultrafast", 1920, 1080, counter.output());
    if (!encoder) {
        state.SkipWithError("libx264 did not open");
        return;
    }
    std::int64_t submitted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        counter.waitForDelivered(submitted);
        const ImageBufferPtr frame = source.frame(submitted);
        state.ResumeTiming();
        encoder->encode({frame, MediaTime(submitted * 3000, kTimeScale), MediaTime(3000, kTimeScale)});
        ++submitted;
    }
    encoder->close();
}
BENCHMARK(BM_EncodeFrameCallerCost1080p)->Unit(benchmark::kMicrosecond);
