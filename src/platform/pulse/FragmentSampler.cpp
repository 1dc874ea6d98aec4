#include "platform/pulse/FragmentSampler.h"

#include "platform/pulse/PulseAudioFormat.h"

#include <span>

namespace backreel {

namespace {
// How far a fragment's capture-time estimate may stray before the timeline re-anchors: well
// above the jitter of the latency reports, well below what anyone hears as lip-sync error.
constexpr std::uint64_t kDriftToleranceMicroseconds = 20'000;
} // namespace

FragmentSampler::FragmentSampler(const AudioFormat& format)
    : format_(format)
    , bytesPerFrame_(bytesPerFrame(format))
    , timeline_(framesForMicroseconds(kDriftToleranceMicroseconds, format.sampleRate)) {}

std::int64_t FragmentSampler::frameCount(std::size_t length) const {
    return static_cast<std::int64_t>(length / bytesPerFrame_);
}

std::optional<AudioView> FragmentSampler::audio(const void* data, std::size_t length,
                                                std::int64_t estimatedStart) {
    const std::int64_t frames = frameCount(length);
    if (frames == 0) {
        return std::nullopt;
    }
    const std::size_t values =
        static_cast<std::size_t>(frames) * static_cast<std::size_t>(format_.channelCount);
    // The server hands out float32 frames in memory blocks aligned for them.
    const auto* samples = static_cast<const float*>(data);
    if (samples == nullptr) {
        if (silence_.size() < values) {
            silence_.resize(values); // zeros, and never written to
        }
        samples = silence_.data();
    }
    lastPlacement_ = timeline_.place(estimatedStart, frames);
    return AudioView{std::span<const float>(samples, values), format_.channelCount, format_.sampleRate,
                     MediaTime(lastPlacement_.start, format_.sampleRate)};
}

} // namespace backreel
