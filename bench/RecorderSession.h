#pragma once

#include "platform/ffmpeg/FfmpegCompressionService.h"

#include <cstdint>
#include <memory>
#include <string>

namespace backreel::bench {

// A software H.264 session with the given libx264 preset, set up as the recorder sets up its own
// (real time, 20 Mbit/s, no reordering, a key frame at least every 30 frames and every 0.5 s,
// High profile); null when it does not open.
inline std::shared_ptr<CompressionSession> recorderSession(const std::string& preset, int width, int height,
                                                           CompressionOutputCallback callback, void* refcon) {
    FfmpegCompressionService service(FfmpegCompressionOptions{preset});
    std::shared_ptr<CompressionSession> session;
    if (service.createSession(width, height, codec::h264, nullptr, callback, refcon, &session) != 0) {
        return nullptr;
    }
    session->setProperty(CompressionProperty::realTime, true);
    session->setProperty(CompressionProperty::averageBitRate, std::int64_t{20'000'000});
    session->setProperty(CompressionProperty::allowFrameReordering, false);
    session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{30});
    session->setProperty(CompressionProperty::maxKeyFrameIntervalDuration, 0.5);
    session->setProperty(CompressionProperty::profileLevel, ProfileLevel::h264HighAutoLevel);
    return session->prepareToEncodeFrames() == 0 ? session : nullptr;
}

} // namespace backreel::bench
