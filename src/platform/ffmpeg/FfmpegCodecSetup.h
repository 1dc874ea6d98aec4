#pragma once

#include "core/Error.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/VideoEncoder.h"

#include <cstdint>
#include <span>
#include <string>

namespace backreel {

// How an FFmpeg encoder is fed: VAAPI takes GPU surfaces we upload to, NVENC and Quick Sync take
// NV12 frames in memory, libx264 takes planar YUV 4:2:0 (or 4:4:4, see needsFullChroma()).
enum class EncoderBackend { vaapi, nvenc, quickSync, x264 };

struct EncoderCandidate {
    const char* name = nullptr; // FFmpeg's name for the encoder
    EncoderBackend backend = EncoderBackend::x264;

    bool isHardware() const { return backend != EncoderBackend::x264; }
};

// The software H.264 encoder used when no hardware encoder opens.
inline constexpr EncoderCandidate kSoftwareH264Encoder{"libx264", EncoderBackend::x264};

// The hardware encoders for a codec, in the order they are tried: VAAPI first (Intel, AMD and the
// open NVIDIA driver), then NVENC, then Quick Sync.
std::span<const EncoderCandidate> hardwareEncoders(VideoCodec codec);

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

// An open FFmpeg encoder and what it takes to feed it.
struct OpenCodec {
    EncoderCandidate candidate;
    AVCodecContextPtr context;
    // VAAPI only: the pool of GPU surfaces each frame is uploaded into before encoding.
    AVBufferRefPtr hardwareFrames;
    // The pixel format of the frames the BGRA pictures are converted into.
    AVPixelFormat softwareFormat = AV_PIX_FMT_NONE;
};

// Opens the candidate with the settings, for real time: parameter sets in the extradata (global
// header), a 1/90000 time base, no B-frames, BT.601 limited-range colour as libyuv produces it,
// libx264 with the given preset and tuned for zero latency. An odd size is encoded in 4:4:4
// (needsFullChroma()), which only libx264 offers, so hardware encoders refuse one. Fails with
// FFmpeg's error code.
Expected<OpenCodec, int> openCodec(const EncoderCandidate& candidate, const VideoEncoderSettings& settings,
                                   const std::string& softwarePreset);

// Caps FFmpeg's log level while it lives. The level is process-wide, so nested and concurrent
// scopes share one saved level: each one can only lower the level, and the last one to end
// restores what was there before the first.
class ScopedFfmpegLogLevel {
public:
    explicit ScopedFfmpegLogLevel(int maximumLevel);
    ~ScopedFfmpegLogLevel();
    ScopedFfmpegLogLevel(const ScopedFfmpegLogLevel&) = delete;
    ScopedFfmpegLogLevel& operator=(const ScopedFfmpegLogLevel&) = delete;
};

} // namespace backreel
