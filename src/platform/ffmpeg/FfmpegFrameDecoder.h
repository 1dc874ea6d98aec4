#pragma once

#include "core/Error.h"
#include "core/media/ImageBuffer.h"
#include "core/media/VideoPacket.h"
#include "platform/ReviewMedia.h"

#include <cstddef>
#include <memory>
#include <span>

namespace backreel {

// Decodes the packets of one video stream back into BGRA pictures, with FFmpeg's decoder for the
// stream's codec: for reviewing the buffer, and to check what an encoder or a movie file holds
// without the caller touching FFmpeg. One thread at a time.
class FfmpegFrameDecoder final : public PictureDecoder {
public:
    // A decoder primed with the format's parameter sets; null when FFmpeg has no decoder for the
    // codec or it does not open.
    static std::unique_ptr<FfmpegFrameDecoder> create(const VideoStreamFormat& format);
    ~FfmpegFrameDecoder() override;

    FfmpegFrameDecoder(const FfmpegFrameDecoder&) = delete;
    FfmpegFrameDecoder& operator=(const FfmpegFrameDecoder&) = delete;

    // Decodes one compressed picture: the decoded picture, null when the decoder needs more
    // packets first, or the "FFmpeg" error of a packet it cannot decode.
    Expected<ImageBufferPtr> decode(std::span<const std::byte> data, bool wanted = true);
    Expected<ImageBufferPtr> decode(const VideoPacket& packet) { return decode(packet.data); }
    Expected<ImageBufferPtr> decode(const VideoPacket& packet, bool wanted) override {
        return decode(packet.data, wanted);
    }

private:
    struct State;
    explicit FfmpegFrameDecoder(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

class FfmpegPictureDecoderService final : public PictureDecoderService {
public:
    std::unique_ptr<PictureDecoder> create(const VideoStreamFormat& format) override {
        return FfmpegFrameDecoder::create(format);
    }
};

} // namespace backreel
