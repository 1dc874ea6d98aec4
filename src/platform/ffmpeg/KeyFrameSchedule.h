#pragma once

#include <cstdint>
#include <optional>

namespace backreel {

// Decides which frames an encoder is told to make key frames, so that a clip cut at any point
// starts close to one: a key frame at least every maxInterval frames and whenever maxIntervalTicks
// of presentation time have passed since the last one. Time is measured in PTS, not in frames, so
// that irregular frame arrival (a still screen, then a burst) still gives a key frame every
// maxIntervalTicks. Zero switches a limit off.
//
// Plain values, no locking: the encoder's thread owns its schedule.
class KeyFrameSchedule {
public:
    KeyFrameSchedule() = default;
    KeyFrameSchedule(std::int64_t maxInterval, std::int64_t maxIntervalTicks)
        : maxInterval_(maxInterval)
        , maxIntervalTicks_(maxIntervalTicks) {}

    // Called for every frame, in submission order, with its index and its PTS in ticks; true when
    // the frame must be forced to be a key frame. The first frame always is.
    bool shouldForceKeyFrame(std::int64_t frameIndex, std::int64_t ticks);

    // The encoder made this frame a key frame on its own (its own interval, a scene cut); later
    // decisions count from it. Frames older than the last key frame are ignored, since encoders
    // with a delay report key frames after later frames have been scheduled.
    void noteKeyFrame(std::int64_t frameIndex, std::int64_t ticks);

private:
    std::int64_t maxInterval_ = 0;
    std::int64_t maxIntervalTicks_ = 0;
    std::optional<std::int64_t> lastKeyIndex_;
    std::int64_t lastKeyTicks_ = 0;
};

} // namespace backreel
