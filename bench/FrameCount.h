#pragma once

#include "core/media/VideoPacket.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace backreel {

// The pictures a recording at `frameInterval` stored in a span of time, and the ticks without
// one: a gap of more than 1.5 intervals between neighbouring presentation times, whether the
// capture or the encoder lost it.
struct FrameCount {
    std::int64_t frames = 0;
    std::int64_t missing = 0;
};

// The pictures with a PTS in [from, to).
inline FrameCount countFrames(const std::vector<VideoPacket>& video, double from, double to,
                              double frameInterval = 1.0 / 30) {
    FrameCount count;
    double previous = -1;
    for (const VideoPacket& packet : video) {
        const double time = packet.presentationTime.seconds();
        if (time < from || time >= to) {
            continue;
        }
        ++count.frames;
        if (previous >= 0 && time - previous > 1.5 * frameInterval) {
            count.missing += std::llround((time - previous) / frameInterval) - 1;
        }
        previous = time;
    }
    return count;
}

} // namespace backreel
