#pragma once

#include "core/media/MediaTime.h"

#include <cstdint>
#include <optional>

namespace backreel {

// What to do with one buffer of audio so that it lands where its time stamp says.
struct AudioPlacement {
    // Frames of silence to write before the buffer.
    std::int64_t silence = 0;
    // Frames to drop from the start of the buffer, then frames to keep after them.
    std::int64_t skip = 0;
    std::int64_t take = 0;
    // Set on the buffer that starts the track: the position of its first kept frame.
    std::optional<std::int64_t> anchor;
};

// The time line of a sound being compressed, in frames at the source's sample rate counted from
// the stream's start. The first buffer anchors the track at its own time stamp; what lies before
// the start is cut off, never moved later, so sound stays where the picture is.
// From then on buffers are laid end to end, rounding aside. The sound sources already lay their
// pieces end to end and jump only where they must (lost audio, a clock that drifted), so every
// stamp further than the tolerance from the running count corrects it: a gap is filled with
// silence and an overlap is dropped. One stream runs for a whole recording, so a jump let pass
// would put every clip after it out of step.
//
// Plain values, no locking: the audio encoder owns its clock.
class AudioTrackClock {
public:
    // How far a stamp may be from the running count before the clock corrects it.
    static constexpr double kToleranceSeconds = 0.002;

    explicit AudioTrackClock(double sampleRate);

    // Places a buffer of frames whose first frame is at start (frames from the movie's start).
    AudioPlacement place(std::int64_t start, std::int64_t frames);

    // The position of the next frame, once the track has been anchored.
    std::optional<std::int64_t> next() const { return next_; }
    std::int64_t toleranceFrames() const { return toleranceFrames_; }

    // The source's sample rate changed: the running count carries over to the new rate.
    void changeRate(double sampleRate);

private:
    double sampleRate_;
    std::int64_t toleranceFrames_;
    std::optional<std::int64_t> next_;
};

// The nearest whole number of frames at sampleRate from origin to time (negative before it).
std::int64_t framesBetween(MediaTime origin, MediaTime time, double sampleRate);

} // namespace backreel
