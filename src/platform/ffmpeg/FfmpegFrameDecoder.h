#pragma once

#include "core/Error.h"
#include "core/media/ImageBuffer.h"
#include "core/media/VideoPacket.h"

#include <cstddef>
#include <memory>
#include <span>

namespace backreel {

// Decodes the packets of one video stream back into BGRA pictures, with FFmpeg's decoder for the
// stream's codec. It checks what an encoder or a movie file holds without the caller touching
// FFmpeg. One thread at a time.
class FfmpegFrameDecoder {
public:
    // A decoder primed with the format's parameter sets; null when FFmpeg has no decoder for the
    // codec or it does not open.
    static std::unique_ptr<FfmpegFrameDecoder> create(const VideoStreamFormat& format);
    ~FfmpegFrameDecoder();

    FfmpegFrameDecoder(const FfmpegFrameDecoder&) = delete;
    FfmpegFrameDecoder& operator=(const FfmpegFrameDecoder&) = delete;

    // Decodes one compressed picture: the decoded picture, null when the decoder needs more
    // packets first, or the "FFmpeg" error of a packet it cannot decode.
    Expected<ImageBufferPtr> decode(std::span<const std::byte> data);
    Expected<ImageBufferPtr> decode(const VideoPacket& packet) { return decode(packet.data); }

private:
    struct State;
    explicit FfmpegFrameDecoder(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

} // namespace backreel
