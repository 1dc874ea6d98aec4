#pragma once

#include "platform/media/FourCC.h"
#include "platform/media/ImageBuffer.h"
#include "platform/media/MediaSample.h"
#include "platform/media/MediaTime.h"

#include <cstdint>
#include <memory>
#include <variant>

namespace backreel {

// Status codes of compression sessions; 0 is success.
namespace compression_status {
inline constexpr std::int32_t kNoError = 0;
inline constexpr std::int32_t kParameter = -12902;
inline constexpr std::int32_t kInvalidSession = -12903;
inline constexpr std::int32_t kAllocationFailed = -12904;
inline constexpr std::int32_t kCouldNotFindVideoEncoder = -12908;
inline constexpr std::int32_t kEncoderFailed = -12911;
inline constexpr std::int32_t kHardwareNotAvailable = -12915;
} // namespace compression_status

enum class CompressionProperty {
    realTime,                    // bool
    averageBitRate,              // integer, bit/s
    allowFrameReordering,        // bool
    maxKeyFrameInterval,         // integer, frames
    maxKeyFrameIntervalDuration, // double, seconds
    profileLevel,                // ProfileLevel
};

enum class ProfileLevel { hevcMainAutoLevel, h264HighAutoLevel };

using PropertyValue = std::variant<bool, std::int64_t, double, ProfileLevel>;

struct EncoderSpecification {
    bool requireHardwareAcceleratedVideoEncoder = false;
};

// Receives each compressed frame, or a status without a frame (a dropped frame has status 0 and no
// sample). Runs on the session's own encoder thread. The refcon is the context given at creation;
// the session does not own it.
using CompressionOutputCallback = void (*)(void* outputCallbackRefCon, std::int32_t status,
                                           const MediaSamplePtr& sample);

class CompressionSession {
public:
    virtual ~CompressionSession() = default;

    virtual std::int32_t setProperty(CompressionProperty key, const PropertyValue& value) = 0;
    virtual std::int32_t prepareToEncodeFrames() = 0;
    // Any thread (the capture queue); does not wait for the encoder.
    virtual std::int32_t encodeFrame(const ImageBufferPtr& image, MediaTime presentationTime, MediaTime duration) = 0;
    // Blocks until every frame submitted with a PTS up to completeUntil (the invalid time: every
    // pending frame) has gone through the output callback.
    virtual std::int32_t completeFrames(MediaTime completeUntil) = 0;
    // After this the output callback is never called again.
    virtual void invalidate() = 0;
};

class CompressionService {
public:
    virtual ~CompressionService() = default;

    // On success *session holds the new session; the status tells why creation failed otherwise.
    virtual std::int32_t createSession(std::int32_t width, std::int32_t height, FourCC codecType,
                                       const EncoderSpecification* encoderSpecification,
                                       CompressionOutputCallback outputCallback, void* outputCallbackRefCon,
                                       std::shared_ptr<CompressionSession>* session) = 0;
};

} // namespace backreel
