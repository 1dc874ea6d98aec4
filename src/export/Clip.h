#pragma once

#include "platform/media/MediaSample.h"

#include <vector>

namespace backreel {

// The part of the buffer that is saved: video starting on a key frame and the audio around it.
struct Clip {
    std::vector<MediaSamplePtr> video;
    std::vector<MediaSamplePtr> audio;
    MediaTime startPTS; // PTS of the first video sample
    MediaTime endPTS;   // PTS of the last video sample
};

} // namespace backreel
