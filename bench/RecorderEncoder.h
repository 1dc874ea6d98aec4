#pragma once

#include "platform/ffmpeg/FfmpegVideoEncoder.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"

#include <memory>
#include <string>

namespace backreel::bench {

// A software H.264 encoder with the given libx264 preset, set up as the recorder sets up its own
// (see recordingEncoderSettings(): High, 20 Mbit/s at 30 frames a second and 30 at 60, a key frame
// at least every 30 frames and every 0.5 s, no reordering); null when it does not open.
inline std::unique_ptr<FfmpegVideoEncoder> recorderEncoder(const std::string& preset, int width, int height,
                                                           EncoderOutput output, int frameRate = 30,
                                                           int quality = 0) {
    VideoEncoderSettings settings;
    settings.width = width;
    settings.height = height;
    settings.codec = VideoCodec::h264;
    settings.profile = VideoProfile::h264High;
    settings.averageBitRate = frameRate > 30 ? 30'000'000 : 20'000'000;
    settings.frameRate = frameRate;
    settings.constantQuality = quality;
    settings.maxKeyFrameInterval = 30;
    settings.maxKeyFrameIntervalSeconds = 0.5;
    FfmpegVideoEncoderService service(FfmpegEncoderOptions{preset});
    auto encoder = service.openFfmpeg(settings, std::move(output));
    return encoder ? std::move(encoder).value() : nullptr;
}

} // namespace backreel::bench
