#include "export/ClipSelection.h"

#include <benchmark/benchmark.h>

using namespace backreel;

// Selecting a three-minute clip out of 181 s of video at 30 fps and its sound in AAC packets (47 a second).
static void BM_SelectThreeMinuteClip(benchmark::State& state) {
    const auto bytes = std::make_shared<const std::vector<std::byte>>(64);
    std::vector<VideoPacket> video;
    std::vector<AudioPacket> audio;
    const auto format = std::make_shared<const AudioStreamFormat>();
    for (int i = 0; i < 30 * 181; ++i) {
        video.push_back(VideoPacket{bytes, *bytes, MediaTime(i * 3000, kTimeScale),
                                    MediaTime(3000, kTimeScale), i % 15 == 0, nullptr});
    }
    const auto compressed = std::make_shared<const std::vector<std::byte>>(1024);
    for (int i = 0; i < 48000 * 181 / 1024; ++i) {
        audio.push_back(AudioPacket{compressed, MediaTime(i * 1024, 48000), MediaTime(1024, 48000),
                                    AudioOrigin::system, format});
    }
    // Keep the log quiet: the lines are the same on every iteration.
    QLoggingCategory::setFilterRules(QStringLiteral("com.strandloft.Backreel.*=false"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(selectClip(video, audio, 180, Logger::recording()));
    }
}
BENCHMARK(BM_SelectThreeMinuteClip)->Unit(benchmark::kMicrosecond);
