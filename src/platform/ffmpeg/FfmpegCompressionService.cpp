#include "platform/ffmpeg/FfmpegCompressionService.h"

#include "platform/ffmpeg/FfmpegCompressionSession.h"
#include "platform/ffmpeg/FfmpegEncoder.h"

#include <optional>

namespace backreel {

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
        options_.softwarePreset.empty() ? kDefaultSoftwarePreset : options_.softwarePreset;
    *session = std::make_shared<FfmpegCompressionSession>(width, height, codecType, *encoder, preset,
                                                          outputCallback, outputCallbackRefCon);
    return compression_status::kNoError;
}

} // namespace backreel
