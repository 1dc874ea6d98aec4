#include "platform/ffmpeg/KeyFrameSchedule.h"

namespace backreel {

bool KeyFrameSchedule::shouldForceKeyFrame(std::int64_t frameIndex, std::int64_t ticks) {
    const bool force = !lastKeyIndex_ || (maxInterval_ > 0 && frameIndex - *lastKeyIndex_ >= maxInterval_) ||
                       (maxIntervalTicks_ > 0 && ticks - lastKeyTicks_ >= maxIntervalTicks_);
    if (force) {
        lastKeyIndex_ = frameIndex;
        lastKeyTicks_ = ticks;
    }
    return force;
}

void KeyFrameSchedule::noteKeyFrame(std::int64_t frameIndex, std::int64_t ticks) {
    if (!lastKeyIndex_ || frameIndex > *lastKeyIndex_) {
        lastKeyIndex_ = frameIndex;
        lastKeyTicks_ = ticks;
    }
}

} // namespace backreel
