#include "capture/StillFrames.h"

namespace backreel {

std::optional<VideoFrame> StillFrames::next(const VideoFrame& frame) {
    if (frame.image) {
        shown_ = frame;
        lastTick_ = MediaTime::invalid();
        return frame;
    }
    if (!shown_ || !frame.presentationTime.isValid()) {
        return std::nullopt;
    }
    lastTick_ = frame.presentationTime;
    // On the tick nearest to the interval's end, which the ticks' jitter may put a little before it.
    const MediaTime halfTick = frame.duration.isValid()
                                   ? MediaTime(frame.duration.value(), frame.duration.timeScale() * 2)
                                   : MediaTime::zero();
    if (frame.presentationTime - shown_->presentationTime + halfTick < repeatInterval_) {
        return std::nullopt;
    }
    shown_->presentationTime = frame.presentationTime;
    shown_->duration = frame.duration;
    shown_->keyFrame = true;
    shown_->repeat = true;
    lastTick_ = MediaTime::invalid();
    return shown_;
}

std::optional<VideoFrame> StillFrames::last() {
    if (!shown_ || !lastTick_.isValid() || lastTick_ <= shown_->presentationTime) {
        return std::nullopt;
    }
    shown_->presentationTime = lastTick_;
    shown_->keyFrame = false; // only the end of the still picture, not a place to start from
    shown_->repeat = true;
    lastTick_ = MediaTime::invalid();
    return shown_;
}

} // namespace backreel
