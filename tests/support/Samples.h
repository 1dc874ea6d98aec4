#pragma once

#include "core/media/AudioPacket.h"
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

// A silent packet of 48 kHz stereo (1024 samples, 40 bytes) at the given time.
inline AudioPacket audioAt(MediaTime pts, AudioOrigin origin = AudioOrigin::system) {
    static const AudioStreamFormatPtr format = std::make_shared<AudioStreamFormat>();
    return AudioPacket{std::make_shared<const std::vector<std::byte>>(40), pts, MediaTime(1024, 48000),
                       origin, format};
}

inline AudioPacket audioAt(double seconds) {
    return audioAt(MediaTime::makeWithSeconds(seconds, kTimeScale));
}

} // namespace backreel::test
