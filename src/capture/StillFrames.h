#pragma once

#include "core/media/VideoFrame.h"

#include <optional>

namespace backreel {

// Keeps a recording's video going while its content stands still. A capture backend hands on a
// picture only when it may have changed, and at its other ticks a frame without a picture, with
// the tick's time. While no new picture comes, the last one is shown again as a key frame every
// repeatInterval of media time (at the tick nearest to it), so that a clip cut anywhere in a still
// stretch starts on a key frame about repeatInterval before its start at most. At the end the last picture is
// shown once more at the last tick, so that it lasts to the end of the recording, as at a fixed frame rate.
//
// Plain values, no locking: the capture queue owns it.
class StillFrames {
public:
    explicit StillFrames(MediaTime repeatInterval)
        : repeatInterval_(repeatInterval) {}

    // What to encode for a frame from the capture: the frame itself when it has a picture; the last
    // picture at this tick's time when a repeat is due; else nothing.
    std::optional<VideoFrame> next(const VideoFrame& frame);
    // The last picture at the last tick's time, when that tick came after the last frame encoded;
    // else nothing. Once, when the capture has stopped.
    std::optional<VideoFrame> last();

private:
    const MediaTime repeatInterval_;
    std::optional<VideoFrame> shown_; // the last frame encoded, with its picture
    MediaTime lastTick_;              // of the last frame without a picture after it
};

} // namespace backreel
