#pragma once

#include "platform/media/FormatDescription.h"
#include "platform/media/ImageBuffer.h"
#include "platform/media/MediaSample.h"

#include <cstdint>
#include <memory>

namespace backreel {

// Decodes the compressed frames of one video stream back into BGRA pictures, with FFmpeg's
// decoder for the stream's codec. It checks what an encoder produced without the caller touching
// FFmpeg. One thread at a time.
class FfmpegFrameDecoder {
public:
    // A decoder primed with the format's parameter sets; null when FFmpeg has no decoder for the
    // codec or it does not open.
    static std::unique_ptr<FfmpegFrameDecoder> create(const FormatDescription& format);
    ~FfmpegFrameDecoder();

    FfmpegFrameDecoder(const FfmpegFrameDecoder&) = delete;
    FfmpegFrameDecoder& operator=(const FfmpegFrameDecoder&) = delete;

    // Decodes one compressed frame. Returns 0 with *picture set to the decoded picture, 0 with it
    // null when the decoder needs more frames first, or a negative AVERROR code.
    std::int32_t decode(const MediaSample& sample, ImageBufferPtr* picture);

private:
    struct State;
    explicit FfmpegFrameDecoder(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

} // namespace backreel
