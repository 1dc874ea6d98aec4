#pragma once

#include "core/media/AudioChunk.h"
#include "core/media/VideoPacket.h"

#include <vector>

namespace backreel::test {

// A compressed-looking video packet at the given PTS (seconds at the 90 kHz scale), 1/30 s long.
inline VideoPacket videoPacket(double seconds, bool keyFrame, std::size_t size = 8) {
    static const VideoStreamFormatPtr format =
        std::make_shared<VideoStreamFormat>(VideoStreamFormat{VideoCodec::h264, 64, 64, {}});
    const std::vector<std::byte> bytes(size);
    return VideoPacket::copyOf(bytes, MediaTime::makeWithSeconds(seconds, kTimeScale),
                               MediaTime(3000, kTimeScale), keyFrame, format);
}

inline VideoPacket keyFrame(double seconds) {
    return videoPacket(seconds, true);
}

inline VideoPacket deltaFrame(double seconds) {
    return videoPacket(seconds, false);
}

// 10 ms of silent 48 kHz stereo at the given time.
inline AudioChunk audioAt(MediaTime pts) {
    return AudioChunk{std::make_shared<const std::vector<float>>(960), 2, 48000, pts};
}

inline AudioChunk audioAt(double seconds) {
    return audioAt(MediaTime::makeWithSeconds(seconds, kTimeScale));
}

} // namespace backreel::test
