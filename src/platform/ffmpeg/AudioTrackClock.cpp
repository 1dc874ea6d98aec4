#include "platform/ffmpeg/AudioTrackClock.h"

#include <algorithm>
#include <cmath>

namespace backreel {

namespace {
std::int64_t toleranceFor(double sampleRate) {
    return std::llround(AudioTrackClock::kToleranceSeconds * sampleRate);
}
} // namespace

AudioTrackClock::AudioTrackClock(double sampleRate)
    : sampleRate_(sampleRate)
    , toleranceFrames_(toleranceFor(sampleRate)) {}

AudioPlacement AudioTrackClock::place(std::int64_t start, std::int64_t frames) {
    AudioPlacement placement;
    frames = std::max<std::int64_t>(frames, 0);
    if (!next_) {
        if (start + frames <= 0) {
            // Wholly before the start: nothing of it is shown, and it anchors nothing.
            placement.skip = frames;
            return placement;
        }
        placement.skip = std::max<std::int64_t>(-start, 0);
        placement.take = frames - placement.skip;
        placement.anchor = start + placement.skip;
        next_ = *placement.anchor + placement.take;
        return placement;
    }
    const std::int64_t drift = start - *next_;
    if (drift > toleranceFrames_) {
        placement.silence = drift;
        placement.take = frames;
    } else if (drift < -toleranceFrames_) {
        placement.skip = std::min(-drift, frames);
        placement.take = frames - placement.skip;
    } else {
        placement.take = frames;
    }
    *next_ += placement.silence + placement.take;
    return placement;
}

void AudioTrackClock::changeRate(double sampleRate) {
    if (next_ && sampleRate_ > 0) {
        next_ = std::llround(static_cast<double>(*next_) * sampleRate / sampleRate_);
    }
    sampleRate_ = sampleRate;
    toleranceFrames_ = toleranceFor(sampleRate);
}

std::int64_t framesBetween(MediaTime origin, MediaTime time, double sampleRate) {
    const MediaTime offset = time - origin;
    if (!offset.isValid()) {
        return 0;
    }
    // The subtraction is exact; only the one conversion to frames rounds.
    const long double frames =
        static_cast<long double>(offset.value()) * static_cast<long double>(sampleRate) / offset.timeScale();
    return std::llround(frames);
}

} // namespace backreel
