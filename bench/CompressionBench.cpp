#include "platform/ffmpeg/FfmpegCompressionService.h"
#include "RecorderSession.h"
#include "ScreenContent.h"

#include <algorithm>
#include <benchmark/benchmark.h>
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
using backreel::bench::Content;
using backreel::bench::ScreenSource;

namespace {

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
    auto session = bench::recorderSession(preset, width, height, DeliveryCounter::callback, &counter);
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
    auto session = bench::recorderSession("ultrafast", 1920, 1080, DeliveryCounter::callback, &counter);
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
