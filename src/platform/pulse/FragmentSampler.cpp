#include "platform/pulse/FragmentSampler.h"

#include "platform/pulse/BorrowedAudioSample.h"
#include "platform/pulse/PulseAudioFormat.h"

#include <span>

namespace backreel {

namespace {
// How far a fragment's capture-time estimate may stray before the timeline re-anchors: well
// above the jitter of the latency reports, well below what anyone hears as lip-sync error.
constexpr std::uint64_t kDriftToleranceMicroseconds = 20'000;
} // namespace

FragmentSampler::FragmentSampler(const SystemAudioFormat& format)
    : format_(format)
    , description_(FormatDescription::audio(interleavedFloatDescription(format)))
    , bytesPerFrame_(bytesPerFrame(format))
    , timeline_(framesForMicroseconds(kDriftToleranceMicroseconds, format.sampleRate)) {}

std::int64_t FragmentSampler::frameCount(std::size_t length) const {
    return static_cast<std::int64_t>(length / bytesPerFrame_);
}

MediaSamplePtr FragmentSampler::sample(const void* data, std::size_t length, std::int64_t estimatedStart) {
    const std::int64_t frames = frameCount(length);
    if (frames == 0) {
        return nullptr;
    }
    const std::size_t usable = static_cast<std::size_t>(frames) * bytesPerFrame_;
    const std::byte* bytes = static_cast<const std::byte*>(data);
    if (bytes == nullptr) {
        if (silence_.size() < usable) {
            silence_.resize(usable); // zeros, and never written to
        }
        bytes = silence_.data();
    }
    lastPlacement_ = timeline_.place(estimatedStart, frames);
    return makeBorrowedAudioSample(description_, std::span<const std::byte>(bytes, usable),
                                   MediaTime(lastPlacement_.start, format_.sampleRate));
}

} // namespace backreel
