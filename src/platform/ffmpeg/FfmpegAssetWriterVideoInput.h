#pragma once

#include "platform/ffmpeg/FfmpegAssetWriterInput.h"
#include "platform/media/FormatDescription.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace backreel {

// The codec FFmpeg knows a compressed video format by: "avc1" is H.264, "hvc1" HEVC; none else.
std::optional<AVCodecID> videoCodecOf(FourCC codecType);

// A video track that takes compressed frames and writes them unchanged: the stream's codec, size
// and parameter sets come from the format hint, each sample becomes one packet with its own time
// stamps (1/90000 s, counted from the session start) and key-frame flag. The MP4 muxer turns
// Annex B parameter sets and frames into the avcC/hvcC form the file needs.
//
// Thread contract: as AssetWriterInput.
class FfmpegAssetWriterVideoInput final : public FfmpegAssetWriterInput {
public:
    static constexpr AVRational kTimeBase{1, 90000};

    FfmpegAssetWriterVideoInput(std::shared_ptr<FfmpegAssetWriterMuxer> muxer,
                                FormatDescriptionPtr formatHint);

    bool append(const MediaSamplePtr& sample) override;
    void markAsFinished() override;
    std::optional<Error> setupError() const override;

protected:
    std::optional<Error> describeStream(AVStream& stream) const override;
    AVRational packetTimeBase() const override { return kTimeBase; }
    PacketClock packetClock() const override { return PacketClock::source; }

private:
    // The sample as a packet, or why it cannot be one.
    Expected<AVPacketPtr> packetFor(const MediaSample& sample);

    const FormatDescriptionPtr formatHint_;

    // Serialises appends with a markAsFinished() from the writer's owner.
    std::mutex mutex_;
    std::optional<std::int64_t> lastTicks_;
};

} // namespace backreel
