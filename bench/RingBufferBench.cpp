#include "capture/RingBuffer.h"

#include <benchmark/benchmark.h>

using namespace backreel;

namespace {
// A packet that shares one buffer, as the encoder's packets share theirs.
VideoPacket sampleAt(std::int64_t tick) {
    static const auto bytes = std::make_shared<const std::vector<std::byte>>(64);
    return VideoPacket{
        bytes, *bytes, MediaTime(tick, kTimeScale), MediaTime(3000, kTimeScale), tick % 45000 == 0, nullptr};
}
} // namespace

// Steady-state append (packet creation included) at 30 frames per second into a full three-minute store: one
// trim per append.
static void BM_AppendWithTrim(benchmark::State& state) {
    auto store = RingBuffer::create();
    store->setMaxDuration(180.75);
    std::int64_t tick = 0;
    for (int i = 0; i < 30 * 181; ++i) {
        store->append(sampleAt(tick));
        tick += 3000;
    }
    // Includes making the packet, as the encoder output does for each frame.
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
