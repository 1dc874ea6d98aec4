#pragma once

#include "platform/CompressionSession.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace backreel {

// Choices a caller may make instead of the service; the defaults suit recording.
struct FfmpegCompressionOptions {
    // libx264's speed preset; empty takes kDefaultSoftwarePreset.
    std::string softwarePreset;
};

// libx264's preset when the caller names none. Measured with bench/encode on the two-core
// development machine (10 s of 1920×1080 moving screen content at 30 frames per second, 20 Mbit/s,
// CPU seconds per second of video, the BGRA conversion included): ultrafast 0.25–0.26, superfast
// 0.53–0.55, veryfast 0.64–0.73. Only ultrafast keeps the encoder under 40 % of one core, with no
// frame dropped; its SSIM is 0.990 on scrolling text and pictures (superfast 0.998).
inline constexpr const char* kDefaultSoftwarePreset = "ultrafast";

// Compression with FFmpeg's encoders. HEVC ("hvc1") only with a hardware encoder (VAAPI, NVENC,
// Quick Sync); H.264 ("avc1") with a hardware encoder when one opens at the size, with libx264
// otherwise. Any size from 1×1 to 16384 pixels a side; a size with an odd side is encoded by
// libx264 in 4:4:4 so that it decodes to exactly that size (see needsFullChroma()). Other sizes
// fail with kParameter.
//
// With requireHardwareAcceleratedVideoEncoder, creation opens each hardware encoder in turn at the
// size and closes it again: the status is kHardwareNotAvailable when none opens, and the session
// returned otherwise is meant to be invalidated at once. Any thread.
class FfmpegCompressionService final : public CompressionService {
public:
    // Converted frames that may wait for a session's encoder. A frame submitted while this many
    // wait is dropped and reported to the output callback with status 0 and no sample.
    static constexpr std::size_t kMaxPendingFrames = 3;

    explicit FfmpegCompressionService(FfmpegCompressionOptions options = {})
        : options_(std::move(options)) {}

    std::int32_t createSession(std::int32_t width, std::int32_t height, FourCC codecType,
                               const EncoderSpecification* encoderSpecification,
                               CompressionOutputCallback outputCallback, void* outputCallbackRefCon,
                               std::shared_ptr<CompressionSession>* session) override;

private:
    const FfmpegCompressionOptions options_;
};

} // namespace backreel
