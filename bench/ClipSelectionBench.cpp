#include "export/ClipSelection.h"

#include <benchmark/benchmark.h>

using namespace backreel;

// Selecting a three-minute clip out of 181 s of video at 30 fps and 100 audio buffers a second.
static void BM_SelectThreeMinuteClip(benchmark::State& state) {
    const auto bytes = std::make_shared<const std::vector<std::byte>>(64);
    const auto samples = std::make_shared<const std::vector<float>>(960);
    std::vector<VideoPacket> video;
    std::vector<AudioChunk> audio;
    for (int i = 0; i < 30 * 181; ++i) {
        video.push_back(VideoPacket{bytes, *bytes, MediaTime(i * 3000, kTimeScale),
                                    MediaTime(3000, kTimeScale), i % 15 == 0, nullptr});
    }
    for (int i = 0; i < 100 * 181; ++i) {
        audio.push_back(AudioChunk{samples, 2, 48000, MediaTime(i * 480, 48000)});
    }
    // Keep the log quiet: the lines are the same on every iteration.
    QLoggingCategory::setFilterRules(QStringLiteral("com.strandloft.Backreel.*=false"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(selectClip(video, audio, 180, Logger::recording()));
    }
}
BENCHMARK(BM_SelectThreeMinuteClip)->Unit(benchmark::kMicrosecond);
