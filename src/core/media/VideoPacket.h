#pragma once

#include "core/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace backreel {

enum class VideoCodec { h264, hevc };

// "H264" or "HEVC", as log lines name them.
constexpr const char* codecLogName(VideoCodec codec) {
    return codec == VideoCodec::hevc ? "HEVC" : "H264";
}

// What an encoder's packets are: codec, size and the codec's parameter sets (the extradata an
// FFmpeg encoder opened with a global header gives, which a movie file needs for its track).
struct VideoStreamFormat {
    VideoCodec codec = VideoCodec::h264;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::byte> codecConfiguration;
};
using VideoStreamFormatPtr = std::shared_ptr<const VideoStreamFormat>;

// One compressed picture. A value: copies share the bytes, which the owner keeps alive (the
// encoder's reference-counted packet buffer), so storing and writing packets never copies them.
// The encoder never reorders, so packets come in presentation order and decode at their PTS.
struct VideoPacket {
    std::shared_ptr<const void> owner;
    std::span<const std::byte> data;
    MediaTime presentationTime;
    MediaTime duration;
    bool keyFrame = false;
    VideoStreamFormatPtr format;

    // A packet that owns a copy of bytes; for tests and stand-ins.
    static VideoPacket copyOf(std::span<const std::byte> bytes, MediaTime presentationTime,
                              MediaTime duration, bool keyFrame, VideoStreamFormatPtr format) {
        auto storage = std::make_shared<std::vector<std::byte>>(bytes.begin(), bytes.end());
        VideoPacket packet{storage,          std::span<const std::byte>(*storage),
                           presentationTime, duration,
                           keyFrame,         std::move(format)};
        return packet;
    }
};

} // namespace backreel
