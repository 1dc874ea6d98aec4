#include "platform/ffmpeg/FfmpegAssetWriterAudioInput.h"

#include "platform/ffmpeg/FfmpegError.h"

namespace backreel {

FfmpegAssetWriterAudioInput::FfmpegAssetWriterAudioInput(std::shared_ptr<FfmpegAssetWriterMuxer> muxer,
                                                         const AudioOutputSettings& settings,
                                                         const FormatDescriptionPtr& formatHint)
    : FfmpegAssetWriterInput(std::move(muxer), MediaType::audio) {
    const AudioStreamBasicDescription* source = formatHint ? formatHint->streamBasicDescription() : nullptr;
    if (source == nullptr) {
        setupError_ =
            Error::backreel(0, QStringLiteral("An audio input needs the format of the audio it will get."));
        return;
    }
    Expected<std::unique_ptr<FfmpegAudioEncoder>> opened = FfmpegAudioEncoder::open(settings, *source);
    if (!opened) {
        setupError_ = opened.error();
        return;
    }
    encoder_ = std::move(opened).value();
}

std::optional<Error> FfmpegAssetWriterAudioInput::describeStream(AVStream& stream) const {
    if (const int result = encoder_->copyParameters(stream.codecpar); result < 0) {
        return ffmpegError(result);
    }
    return std::nullopt;
}

AVRational FfmpegAssetWriterAudioInput::packetTimeBase() const {
    return encoder_ ? encoder_->timeBase() : AVRational{1, 48000};
}

bool FfmpegAssetWriterAudioInput::append(const MediaSamplePtr& sample) {
    const std::optional<std::size_t> audioTrack = track();
    if (!audioTrack) {
        return refuseUnattached();
    }
    std::lock_guard lock(mutex_);
    if (!muxer().canAppend(*audioTrack)) {
        return false;
    }
    if (!sample) {
        muxer().fail(Error::backreel(1, QStringLiteral("Cannot append a missing sample.")));
        return false;
    }
    const std::optional<MediaTime> sessionStart = muxer().sessionStart();
    if (!sessionStart) {
        waiting_.push_back(sample);
        return true;
    }
    if (!waiting_.empty() && !catchUpLocked(*audioTrack, *sessionStart)) {
        return false;
    }
    std::vector<AVPacketPtr> packets;
    if (!encodeLocked(*sample, *sessionStart, packets)) {
        return false;
    }
    return muxer().push(*audioTrack, std::move(packets));
}

void FfmpegAssetWriterAudioInput::markAsFinished() {
    const std::optional<std::size_t> audioTrack = track();
    std::lock_guard lock(mutex_);
    if (finished_) {
        return;
    }
    finished_ = true;
    if (!audioTrack) {
        return;
    }
    if (const std::optional<MediaTime> sessionStart = muxer().sessionStart()) {
        catchUpLocked(*audioTrack, *sessionStart);
    }
    // Without a session start the track ends when the session starts (sessionStarted()).
}

void FfmpegAssetWriterAudioInput::sessionStarted() {
    const std::optional<std::size_t> audioTrack = track();
    const std::optional<MediaTime> sessionStart = muxer().sessionStart();
    std::lock_guard lock(mutex_);
    if (audioTrack && sessionStart && (!waiting_.empty() || (finished_ && !flushed_))) {
        catchUpLocked(*audioTrack, *sessionStart);
    }
}

bool FfmpegAssetWriterAudioInput::catchUpLocked(std::size_t audioTrack, MediaTime sessionStart) {
    std::vector<AVPacketPtr> packets;
    const std::vector<MediaSamplePtr> waiting = std::exchange(waiting_, {});
    for (const MediaSamplePtr& sample : waiting) {
        if (!encodeLocked(*sample, sessionStart, packets)) {
            return false;
        }
    }
    if (finished_ && !flushed_) {
        flushed_ = true;
        if (std::optional<Error> error = encoder_->flush(packets)) {
            muxer().fail(*error);
            return false;
        }
        const bool pushed = muxer().push(audioTrack, std::move(packets));
        muxer().markFinished(audioTrack);
        return pushed;
    }
    return muxer().push(audioTrack, std::move(packets));
}

bool FfmpegAssetWriterAudioInput::encodeLocked(const MediaSample& sample, MediaTime sessionStart,
                                               std::vector<AVPacketPtr>& packets) {
    if (std::optional<Error> error = encoder_->encode(sample, sessionStart, packets)) {
        muxer().fail(*error);
        return false;
    }
    return true;
}

} // namespace backreel
