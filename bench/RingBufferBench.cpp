#include "capture/RingBuffer.h"

#include <benchmark/benchmark.h>

using namespace backreel;

namespace {
MediaSamplePtr sampleAt(std::int64_t tick) {
    MediaSample::Parts parts;
    parts.timing = {
        SampleTimingInfo{MediaTime(3000, kTimeScale), MediaTime(tick, kTimeScale), MediaTime::invalid()}};
    return MediaSample::make(std::move(parts));
}
} // namespace

// Steady-state append (sample creation included) at 30 frames per second into a full three-minute store: one
// trim per append.
static void BM_AppendWithTrim(benchmark::State& state) {
    auto store = RingBuffer::create();
    store->setMaxDuration(180.75);
    std::int64_t tick = 0;
    for (int i = 0; i < 30 * 181; ++i) {
        store->append(sampleAt(tick));
        tick += 3000;
    }
    // Includes making the sample, as the encoder does for each frame.
    for (auto _ : state) {
        store->append(sampleAt(tick));
        tick += 3000;
    }
    state.counters["held"] = static_cast<double>(store->count());
}
BENCHMARK(BM_AppendWithTrim);

// Taking a three-minute store out at stop: copies references only.
static void BM_SnapshotThreeMinutes(benchmark::State& state) {
    auto store = RingBuffer::create();
    store->setMaxDuration(180.75);
    for (int i = 0; i < 30 * 181; ++i) {
        store->append(sampleAt(i * 3000));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->snapshot());
    }
}
BENCHMARK(BM_SnapshotThreeMinutes);
