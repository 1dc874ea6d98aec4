#pragma once

#include "platform/CompressionSession.h"
#include "platform/ffmpeg/FfmpegPtr.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace backreel {

// How an FFmpeg encoder is fed: VAAPI takes GPU surfaces we upload to, NVENC and Quick Sync take
// NV12 frames in memory, libx264 takes planar YUV 4:2:0.
enum class EncoderBackend { vaapi, nvenc, quickSync, x264 };

struct EncoderCandidate {
    const char* name = nullptr; // FFmpeg's name for the encoder
    EncoderBackend backend = EncoderBackend::x264;

    bool isHardware() const { return backend != EncoderBackend::x264; }
};

// The software H.264 encoder used when no hardware encoder opens.
inline constexpr EncoderCandidate kSoftwareH264Encoder{"libx264", EncoderBackend::x264};

// The hardware encoders for a codec ("avc1" or "hvc1"), in the order they are tried: VAAPI first
// (Intel, AMD and the open NVIDIA driver), then NVENC, then Quick Sync. Empty for other codecs.
std::span<const EncoderCandidate> hardwareEncoders(FourCC codecType);

// Whether pictures of this size are encoded with full-resolution chroma (4:4:4). 4:2:0 halves the
// chroma planes in both directions, and H.264 and HEVC streams can crop only whole chroma samples,
// so a 4:2:0 stream cannot have an odd side. Pictures with one are encoded in 4:4:4 (H.264's High
// 4:4:4 Predictive profile) and decode to exactly their size; fewer players take such streams
// (mpv, VLC and browsers' software decoders do, hardware decoders mostly do not).
bool needsFullChroma(std::int32_t width, std::int32_t height);

// Whether FFmpeg's encoders can take pictures of this size at all: positive sides of at most
// kMaxEncodedSide pixels whose frame buffers FFmpeg agrees to allocate.
inline constexpr std::int32_t kMaxEncodedSide = 16384;
bool isEncodableSize(std::int32_t width, std::int32_t height);

// What a session's properties ask of the encoder; applied when it opens.
struct EncoderSettings {
    bool realTime = false;
    // Bit/s; 0 keeps the encoder's own rate control.
    std::int64_t averageBitRate = 0;
    // Frames; 0 keeps the encoder's default.
    std::int64_t maxKeyFrameInterval = 0;
    std::optional<ProfileLevel> profileLevel;
    // libx264's speed preset ("ultrafast", "superfast", ...).
    std::string softwarePreset;
};

// An open encoder and what the session needs to feed it.
struct FfmpegEncoder {
    EncoderCandidate candidate;
    AVCodecContextPtr context;
    // VAAPI only: the pool of GPU surfaces each frame is uploaded into before encoding.
    AVBufferRefPtr hardwareFrames;
    // The pixel format of the frames the session converts the BGRA pictures into.
    AVPixelFormat softwareFormat = AV_PIX_FMT_NONE;
};

// Opens the candidate for codecType for pictures of this size with the settings: parameter sets in
// the extradata (global header), a 1/90000 time base, no B-frames, BT.601 limited-range colour as
// libyuv produces it. An odd size is encoded in 4:4:4 (needsFullChroma()), which only libx264
// offers, so hardware encoders refuse one. Returns 0, or a negative AVERROR code and leaves
// *encoder untouched.
int openFfmpegEncoder(const EncoderCandidate& candidate, FourCC codecType, std::int32_t width,
                      std::int32_t height, const EncoderSettings& settings, FfmpegEncoder* encoder);

// The first hardware encoder for codecType that really opens at this size, or none. Each one is
// opened and closed again at once, with FFmpeg's log silenced: on a machine without the hardware,
// failing is the expected outcome and not worth a line on stderr. None for odd sizes, which only
// libx264 encodes to their exact size (see needsFullChroma()).
std::optional<EncoderCandidate> findHardwareEncoder(FourCC codecType, std::int32_t width,
                                                    std::int32_t height);

} // namespace backreel
