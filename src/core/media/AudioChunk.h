#pragma once

#include "core/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace backreel {

// Where recorded sound comes from: each has a track of its own in a movie.
enum class AudioOrigin : std::uint8_t { system, microphone };

// PCM that the capture still owns: interleaved float32 frames, valid only during the callback
// that hands it over.
struct AudioView {
    std::span<const float> samples; // frameCount() * channels values
    std::int32_t channels = 2;
    std::int32_t sampleRate = 48000;
    MediaTime presentationTime; // of the first frame, on the monotonic clock the video shares

    std::int64_t frameCount() const {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
};

// Audio that Backreel keeps: interleaved float32 frames with their format and time. A value:
// copies share the (immutable) samples.
struct AudioChunk {
    std::shared_ptr<const std::vector<float>> samples;
    std::int32_t channels = 2;
    std::int32_t sampleRate = 48000;
    MediaTime presentationTime;
    AudioOrigin origin = AudioOrigin::system;

    std::int64_t frameCount() const {
        return samples && channels > 0 ? static_cast<std::int64_t>(samples->size()) / channels : 0;
    }
    std::span<const float> view() const {
        return samples ? std::span<const float>(*samples) : std::span<const float>();
    }
    // frameCount() / sampleRate; the invalid time without a rate.
    MediaTime duration() const {
        return sampleRate > 0 ? MediaTime(frameCount(), sampleRate) : MediaTime::invalid();
    }
};

// A chunk that owns a copy of the view's samples; none for a view without frames or channels.
inline std::optional<AudioChunk> copyAudio(const AudioView& view, AudioOrigin origin = AudioOrigin::system) {
    if (view.channels <= 0 || view.frameCount() < 1) {
        return std::nullopt;
    }
    const auto used = static_cast<std::size_t>(view.frameCount() * view.channels);
    auto samples = std::make_shared<const std::vector<float>>(
        view.samples.begin(), view.samples.begin() + static_cast<std::ptrdiff_t>(used));
    return AudioChunk{std::move(samples), view.channels, view.sampleRate, view.presentationTime, origin};
}

} // namespace backreel
