#pragma once

#include <cstdint>
#include <optional>

namespace backreel {

// Time arithmetic of the audio source. Times are counted in frames on CLOCK_MONOTONIC, i.e. they
// are MediaTime values at the stream's sample rate. Pure functions; any thread.

// A monotonic clock reading (seconds and nanoseconds, as clock_gettime gives them) in frames.
std::int64_t monotonicFrames(std::int64_t seconds, std::int64_t nanoseconds, std::int32_t rate);
// CLOCK_MONOTONIC now, in frames.
std::int64_t monotonicNowFrames(std::int32_t rate);
// The nearest whole number of frames to a duration in microseconds.
std::int64_t framesForMicroseconds(std::uint64_t microseconds, std::int32_t rate);

// When the first frame of a fragment was captured: now, less the audio queued for us from that
// frame on (the fragment included), less the server's delay in handing audio over.
std::int64_t estimateFirstFrameTime(std::int64_t nowFrames, std::int64_t queuedFrames,
                                    std::uint64_t serverDelayMicroseconds, std::int32_t rate);

// Places audio fragments on the clock. Each fragment comes with an estimate of when its first
// frame was captured; estimates jitter by a few milliseconds, so consecutive fragments are laid
// end to end (the next starts where the previous ended) for as long as that stays within the
// tolerance of the estimate. Beyond it (audio the server dropped, a reconnection, the sound card's
// clock drifting against the monotonic one) the timeline re-anchors on the estimate, never before
// the previous fragment's start, so times never go backwards.
//
// Used by one thread at a time (the mainloop's).
class AudioTimeline {
public:
    struct Placement {
        std::int64_t start = 0;
        // True when the fragment does not follow on from the previous one.
        bool reanchored = false;
        // The estimate minus where the fragment would have started had it followed on.
        std::int64_t drift = 0;
    };

    explicit AudioTimeline(std::int64_t toleranceFrames)
        : toleranceFrames_(toleranceFrames) {}

    Placement place(std::int64_t estimatedStart, std::int64_t frames);

private:
    std::int64_t toleranceFrames_;
    std::optional<std::int64_t> next_;
    std::optional<std::int64_t> previousStart_;
};

} // namespace backreel
