#include "platform/ffmpeg/FfmpegCompressionService.h"

#include "platform/ffmpeg/FfmpegCompressionSession.h"
#include "platform/ffmpeg/FfmpegEncoder.h"

#include <optional>

namespace backreel {

std::string softwarePresetFor(std::int32_t width, std::int32_t height) {
    // Measured with bench/CompressionBench.cpp on the two-core development machine, idle (frames
    // encoded per second through a real session, BGRA conversion included, 20 Mbit/s): a
    // scrolling page of text and pictures, and the same page with a video playing in a window.
    //
    //                   1920×1080 page   1920×1080 video   2560×1440 video
    //   ultrafast          214-231          182-191           117-119
    //   superfast           99-101           87-88             56-57
    //   veryfast            70-75            62-64               44
    //
    // The preset is the slowest one that keeps 45 frames per second (half again the capture's 30)
    // on the harder load: veryfast up to 1920×1080, superfast up to 2560×1440, ultrafast above.
    constexpr std::int64_t kFullHdPixels = 1920 * 1080;
    constexpr std::int64_t kQuadHdPixels = 2560 * 1440;
    const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
    if (pixels <= kFullHdPixels) {
        return "veryfast";
    }
    return pixels <= kQuadHdPixels ? "superfast" : "ultrafast";
}

std::int32_t FfmpegCompressionService::createSession(std::int32_t width, std::int32_t height,
                                                     FourCC codecType,
                                                     const EncoderSpecification* encoderSpecification,
                                                     CompressionOutputCallback outputCallback,
                                                     void* outputCallbackRefCon,
                                                     std::shared_ptr<CompressionSession>* session) {
    if (session == nullptr) {
        return compression_status::kParameter;
    }
    *session = nullptr;
    if (!isEncodableSize(width, height)) {
        return compression_status::kParameter;
    }
    if (codecType != codec::h264 && codecType != codec::hevc) {
        return compression_status::kCouldNotFindVideoEncoder;
    }

    const bool hardwareRequired =
        encoderSpecification != nullptr && encoderSpecification->requireHardwareAcceleratedVideoEncoder;
    std::optional<EncoderCandidate> encoder = findHardwareEncoder(codecType, width, height);
    if (!encoder && hardwareRequired) {
        return compression_status::kHardwareNotAvailable;
    }
    if (!encoder && codecType == codec::h264) {
        encoder = kSoftwareH264Encoder;
    }
    if (!encoder) {
        return compression_status::kCouldNotFindVideoEncoder;
    }

    const std::string preset =
        options_.softwarePreset.empty() ? softwarePresetFor(width, height) : options_.softwarePreset;
    *session = std::make_shared<FfmpegCompressionSession>(width, height, codecType, *encoder, preset,
                                                          outputCallback, outputCallbackRefCon);
    return compression_status::kNoError;
}

} // namespace backreel
