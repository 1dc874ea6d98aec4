#pragma once

#include "core/media/AudioChunk.h"
#include "platform/pulse/AudioTimeline.h"
#include "platform/AudioSource.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace backreel {

// Turns the fragments a record stream hands out into audio views: the fragment's interleaved
// float frames, not copied, stamped from the estimated capture time of their first frame through
// an AudioTimeline. A hole in the stream (no data, only a length) becomes the same length of
// silence, so time keeps flowing.
//
// A view is valid only until the next call (a hole's silence is reused) and, for real data, as
// long as the fragment's owner keeps the bytes. Used by one thread at a time.
class FragmentSampler {
public:
    // The format must have passed checkAudioFormat().
    explicit FragmentSampler(const AudioFormat& format);

    // The whole frames in a fragment of the given length.
    std::int64_t frameCount(std::size_t length) const;

    // data null means a hole of length bytes; data holds float32 frames in the sampler's format.
    // None when the fragment holds no whole frame; a trailing partial frame is left out.
    std::optional<AudioView> audio(const void* data, std::size_t length, std::int64_t estimatedStart);

    // Where the last fragment went on the timeline.
    const AudioTimeline::Placement& lastPlacement() const { return lastPlacement_; }

private:
    const AudioFormat format_;
    const std::size_t bytesPerFrame_;
    AudioTimeline timeline_;
    AudioTimeline::Placement lastPlacement_;
    std::vector<float> silence_;
};

} // namespace backreel
