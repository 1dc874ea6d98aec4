#include "export/ClipSelection.h"

#include <benchmark/benchmark.h>

using namespace backreel;

// Selecting a three-minute clip out of 181 s of video at 30 fps and 100 audio buffers a second.
static void BM_SelectThreeMinuteClip(benchmark::State& state) {
    std::vector<MediaSamplePtr> video;
    std::vector<MediaSamplePtr> audio;
    for (int i = 0; i < 30 * 181; ++i) {
        MediaSample::Parts parts;
        parts.timing = {SampleTimingInfo{MediaTime(3000, kTimeScale), MediaTime(i * 3000, kTimeScale),
                                         MediaTime::invalid()}};
        parts.attachments = notSyncAttachments(i % 15 != 0);
        video.push_back(MediaSample::make(std::move(parts)));
    }
    for (int i = 0; i < 100 * 181; ++i) {
        MediaSample::Parts parts;
        parts.timing = {
            SampleTimingInfo{MediaTime(1, 48000), MediaTime(i * 480, 48000), MediaTime::invalid()}};
        audio.push_back(MediaSample::make(std::move(parts)));
    }
    // Keep the log quiet: the lines are the same on every iteration.
    QLoggingCategory::setFilterRules(QStringLiteral("com.strandloft.Backreel.*=false"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(selectClip(video, audio, 180, Logger::recording()));
    }
}
BENCHMARK(BM_SelectThreeMinuteClip)->Unit(benchmark::kMicrosecond);
