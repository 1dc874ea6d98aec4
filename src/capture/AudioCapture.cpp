#include "capture/AudioCapture.h"

namespace backreel {

namespace {
constexpr std::int64_t kAudioTraceInterval = 100;
} // namespace

AudioCapture::AudioCapture(std::shared_ptr<MediaStores> stores, AudioOrigin origin, Logger logger)
    : stores_(std::move(stores))
    , origin_(origin)
    , logger_(logger) {}

AudioCapture::~AudioCapture() {
    stop();
}

void AudioCapture::start(AudioService* service, const AudioInput& input, StateHandler onState) {
    // The picture goes on without sound either way: the buffer is still worth having.
    const QString what =
        origin_ == AudioOrigin::microphone ? QStringLiteral("Microphone") : QStringLiteral("System audio");
    auto tell = [logger = logger_, what, onState = std::move(onState)](const std::optional<Error>& lost) {
        if (lost) {
            logger.error(QStringLiteral("[Capture] %1 unavailable: %2").arg(what, lost->description));
        } else {
            logger.info(QStringLiteral("[Capture] %1 is back").arg(what));
        }
        if (onState) {
            onState(lost);
        }
    };
    std::unique_ptr<AudioSource> source = service != nullptr ? service->makeSource(input) : nullptr;
    if (!source) {
        tell(Error(QStringLiteral("There is no audio source.")));
        return;
    }
    // The piece is valid only during this call: it is copied before the call returns.
    if (const MaybeError failure =
            source->start(AudioFormat{}, [this](const AudioView& audio) { take(audio); }, tell)) {
        tell(failure); // the source tries no more
        return;
    }
    source_ = std::move(source);
}

void AudioCapture::stop() {
    if (source_) {
        source_->stop();
        source_.reset();
    }
}

void AudioCapture::take(const AudioView& audio) {
    const std::int64_t chunks = chunksIn_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (chunks == 1 && origin_ == AudioOrigin::microphone) {
        logger_.info(QStringLiteral("[Capture] First microphone callback: PTS=%1s")
                         .arg(fixed(audio.presentationTime.seconds(), 3)));
    } else if (chunks == 1) {
        logger_.info(QStringLiteral("[Capture] First audio callback: PTS=%1s frames=%2")
                         .arg(fixed(audio.presentationTime.seconds(), 3))
                         .arg(audio.frameCount()));
        logger_.info(QStringLiteral("[Capture] Audio format: %1Hz %2ch float32 interleaved")
                         .arg(audio.sampleRate)
                         .arg(audio.channels));
    } else if (chunks % kAudioTraceInterval == 0) {
        logger_.debug(QStringLiteral("[Capture] Audio chunk %1: PTS=%2s ringCount=%3")
                          .arg(chunks)
                          .arg(fixed(audio.presentationTime.seconds(), 3))
                          .arg(stores_->audio()->count()));
    }
    std::optional<AudioChunk> copy = copyAudio(audio, origin_);
    if (!copy) {
        logger_.error(QStringLiteral("[Capture] Audio copy failed at chunk %1 (no frames)").arg(chunks));
        return;
    }
    stores_->appendAudio(std::move(*copy));
}

} // namespace backreel
