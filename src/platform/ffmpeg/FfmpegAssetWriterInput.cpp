#include "platform/ffmpeg/FfmpegAssetWriterInput.h"

#include "platform/ffmpeg/FfmpegError.h"

namespace backreel {

FfmpegAssetWriterInput::FfmpegAssetWriterInput(std::shared_ptr<FfmpegAssetWriterMuxer> muxer,
                                               MediaType mediaType)
    : muxer_(std::move(muxer))
    , mediaType_(mediaType) {}

void FfmpegAssetWriterInput::setExpectsMediaDataInRealTime(bool realTime) {
    std::lock_guard lock(mutex_);
    realTime_ = realTime;
}

void FfmpegAssetWriterInput::requestMediaDataWhenReady(SerialQueue& queue, std::function<void()> block) {
    std::optional<std::size_t> attachedTrack;
    {
        std::lock_guard lock(mutex_);
        attachedTrack = track_;
        if (!attachedTrack) {
            queue_ = &queue;
            block_ = std::move(block);
            return;
        }
    }
    muxer_->setFeeder(*attachedTrack, queue, std::move(block));
}

bool FfmpegAssetWriterInput::isReadyForMoreMediaData() const {
    const std::optional<std::size_t> attachedTrack = track();
    return attachedTrack && muxer_->isReady(*attachedTrack);
}

std::optional<Error> FfmpegAssetWriterInput::attach() {
    if (isAttached()) {
        return Error::backreel(0, QStringLiteral("The input has already been added to the writer."));
    }
    if (std::optional<Error> error = setupError()) {
        return error;
    }
    AVStream* stream = muxer_->addStream();
    if (stream == nullptr) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    if (std::optional<Error> error = describeStream(*stream)) {
        return error;
    }
    // The muxer may pick another time base when it writes the header; packets are rescaled then.
    stream->time_base = packetTimeBase();
    const std::size_t track = muxer_->addTrack(stream, packetTimeBase(), packetClock());
    SerialQueue* queue = nullptr;
    std::function<void()> block;
    {
        std::lock_guard lock(mutex_);
        track_ = track;
        queue = std::exchange(queue_, nullptr);
        block = std::move(block_);
    }
    if (queue != nullptr && block) {
        muxer_->setFeeder(track, *queue, std::move(block));
    }
    return std::nullopt;
}

bool FfmpegAssetWriterInput::isAttached() const {
    return track().has_value();
}

std::optional<std::size_t> FfmpegAssetWriterInput::track() const {
    std::lock_guard lock(mutex_);
    return track_;
}

bool FfmpegAssetWriterInput::refuseUnattached() const {
    muxer_->fail(Error::backreel(
        0, QStringLiteral("Cannot append a sample to an input that is not part of the writer.")));
    return false;
}

} // namespace backreel
