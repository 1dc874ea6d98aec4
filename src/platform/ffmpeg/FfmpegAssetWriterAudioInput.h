#pragma once

#include "platform/ffmpeg/FfmpegAssetWriterInput.h"
#include "platform/ffmpeg/FfmpegAudioEncoder.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace backreel {

// An audio track that encodes PCM samples to AAC as they are appended, on the feeding queue, so
// that audio encoding runs in parallel with the video input's work. Samples that arrive before the
// session start is known wait (by reference) until it is, since placing them needs it.
//
// Thread contract: as AssetWriterInput.
class FfmpegAssetWriterAudioInput final : public FfmpegAssetWriterInput {
public:
    FfmpegAssetWriterAudioInput(std::shared_ptr<FfmpegAssetWriterMuxer> muxer,
                                const AudioOutputSettings& settings, const FormatDescriptionPtr& formatHint);

    bool append(const MediaSamplePtr& sample) override;
    // Encodes what the encoder still holds (the last frame padded) before the track ends.
    void markAsFinished() override;
    std::optional<Error> setupError() const override { return setupError_; }
    void sessionStarted() override;

protected:
    std::optional<Error> describeStream(AVStream& stream) const override;
    AVRational packetTimeBase() const override;
    PacketClock packetClock() const override { return PacketClock::session; }

private:
    // Encodes the waiting samples and, once the input is finished, the rest; queues the packets.
    bool catchUpLocked(std::size_t audioTrack, MediaTime sessionStart);
    bool encodeLocked(const MediaSample& sample, MediaTime sessionStart, std::vector<AVPacketPtr>& packets);

    std::optional<Error> setupError_;

    // Serialises the encoder between the feeding queue and the writer's owner.
    std::mutex mutex_;
    std::unique_ptr<FfmpegAudioEncoder> encoder_;
    std::vector<MediaSamplePtr> waiting_;
    bool finished_ = false;
    bool flushed_ = false;
};

} // namespace backreel
