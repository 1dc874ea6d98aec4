#pragma once

#include "core/media/ImageBuffer.h"
#include "core/media/MediaTime.h"

namespace backreel {

// One uncompressed picture from the capture, timed on the monotonic clock the audio shares.
struct VideoFrame {
    ImageBufferPtr image;
    MediaTime presentationTime;
    MediaTime duration;
    bool keyFrame = false; // the encoder must make it a key frame (a still picture shown again)
    bool repeat = false;   // the same picture as the frame before it, shown again
};

} // namespace backreel
