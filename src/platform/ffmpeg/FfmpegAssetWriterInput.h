#pragma once

#include "platform/AssetWriter.h"
#include "platform/ffmpeg/FfmpegAssetWriterMuxer.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace backreel {

// What the FFmpeg writer's inputs share: their track in the muxer, the feeder registration and
// readiness (both the muxer's). Subclasses say what their stream is and turn samples into packets.
//
// Thread contract: as AssetWriterInput; attach() and sessionStarted() on the writer's owner.
class FfmpegAssetWriterInput : public AssetWriterInput {
public:
    FfmpegAssetWriterInput(std::shared_ptr<FfmpegAssetWriterMuxer> muxer, MediaType mediaType);

    MediaType mediaType() const override { return mediaType_; }
    // Recorded only: the muxer paces every input by its queue, live or not.
    void setExpectsMediaDataInRealTime(bool realTime) override;
    void requestMediaDataWhenReady(SerialQueue& queue, std::function<void()> block) override;
    bool isReadyForMoreMediaData() const override;

    // Why the input cannot be added to the writer (a format it does not take), if it cannot.
    virtual std::optional<Error> setupError() const = 0;
    // By the writer's addInput(): creates the input's stream in the file and its track in the
    // muxer, and hands over a feeder registered before.
    std::optional<Error> attach();
    bool isAttached() const;
    // By the writer's startSession(), once the muxer knows the session start.
    virtual void sessionStarted() {}

protected:
    // Fills in the stream's codec parameters.
    virtual std::optional<Error> describeStream(AVStream& stream) const = 0;
    virtual AVRational packetTimeBase() const = 0;
    virtual PacketClock packetClock() const = 0;

    FfmpegAssetWriterMuxer& muxer() const { return *muxer_; }
    // The input's track, once attached.
    std::optional<std::size_t> track() const;
    // Fails the writer because a sample came to an input that is not part of it.
    bool refuseUnattached() const;

private:
    const std::shared_ptr<FfmpegAssetWriterMuxer> muxer_;
    const MediaType mediaType_;

    mutable std::mutex mutex_;
    std::optional<std::size_t> track_;
    bool realTime_ = false;
    SerialQueue* queue_ = nullptr;
    std::function<void()> block_;
};

} // namespace backreel
