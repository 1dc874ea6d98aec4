#pragma once

#include "platform/VideoEncoder.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace backreel {

class FfmpegVideoEncoder;

// Choices a caller may make instead of the service; the defaults suit recording.
struct FfmpegEncoderOptions {
    // libx264's speed preset; empty takes kDefaultSoftwarePreset.
    std::string softwarePreset;
};

// libx264's preset when the caller names none. Measured with bench/encode on the two-core
// development machine (10 s of 1920×1080 moving screen content at 30 frames per second, 20 Mbit/s,
// CPU seconds per second of video, the BGRA conversion included): ultrafast 0.25–0.26, superfast
// 0.53–0.55, veryfast 0.64–0.73. Only ultrafast keeps the encoder under 40 % of one core, with no
// frame dropped; its SSIM is 0.990 on scrolling text and pictures (superfast 0.998).
inline constexpr const char* kDefaultSoftwarePreset = "ultrafast";

// Video encoders from FFmpeg. HEVC only with a hardware encoder (VAAPI, NVENC, Quick Sync); H.264
// with a hardware encoder when one opens at the size, with libx264 otherwise. Any size from 1×1 to
// 16384 pixels a side; a size with an odd side is encoded by libx264 in 4:4:4 so that it decodes
// to exactly that size (see needsFullChroma()), hardware encoders are not tried for it.
//
// Choosing a hardware encoder means opening each one in turn at the size, with FFmpeg's log
// silenced: on a machine without the hardware, failing is the expected outcome and not worth a
// line on stderr. With settings.requireHardware the open fails with Kind::unavailable when none
// opens. Any thread.
class FfmpegVideoEncoderService final : public VideoEncoderService {
public:
    // How far behind an encoder's thread may fall: converted frames wait for it while the time
    // they are shown for adds up to less than this, and never more than this many frames (their
    // memory). A frame given beyond
    // either is dropped (see FfmpegVideoEncoder::droppedFrames()). A busy machine delays the
    // thread by a few frames now and then; only an encoder persistently behind drops.
    static constexpr double kMaxQueuedSeconds = 0.25;
    static constexpr std::size_t kMaxPendingFrames = 10;

    explicit FfmpegVideoEncoderService(FfmpegEncoderOptions options = {})
        : options_(std::move(options)) {}

    Expected<std::unique_ptr<VideoEncoder>, EncoderError> open(const VideoEncoderSettings& settings,
                                                               EncoderOutput output) override;

    // open() with the concrete type, for callers that want its counters (the benchmarks).
    Expected<std::unique_ptr<FfmpegVideoEncoder>, EncoderError>
    openFfmpeg(const VideoEncoderSettings& settings, EncoderOutput output);

private:
    const FfmpegEncoderOptions options_;
};

} // namespace backreel
