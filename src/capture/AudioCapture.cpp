#include "capture/AudioCapture.h"

namespace backreel {

namespace {
constexpr std::int64_t kAudioTraceInterval = 100;
// The rate the stores keep sound at, whatever the source's.
constexpr std::int32_t kStoredSampleRate = 48000;
} // namespace

AudioCapture::AudioCapture(std::shared_ptr<MediaStores> stores, AudioOrigin origin, Logger logger)
    : stores_(std::move(stores))
    , origin_(origin)
    , logger_(logger) {}

AudioCapture::~AudioCapture() {
    stop();
}

void AudioCapture::start(AudioService* service, std::shared_ptr<AudioCodecService> codecs,
                         const AudioInput& input, StateHandler onState) {
    codecs_ = std::move(codecs);
    // The picture goes on without sound either way: the buffer is still worth having.
    const QString what =
        origin_ == AudioOrigin::microphone ? QStringLiteral("Microphone") : QStringLiteral("System audio");
    tell_ = [logger = logger_, what, onState = std::move(onState)](const std::optional<Error>& lost) {
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
        tell_(Error(QStringLiteral("There is no audio source.")));
        return;
    }
    if (!codecs_) {
        tell_(Error(QStringLiteral("This build of Backreel cannot compress sound.")));
        return;
    }
    // The piece is valid only during this call: it is compressed before the call returns.
    if (const MaybeError failure = source->start(
            AudioFormat{}, [this](const AudioView& audio) { take(audio); }, tell_)) {
        tell_(failure); // the source tries no more
        return;
    }
    source_ = std::move(source);
}

void AudioCapture::stop() {
    if (source_) {
        source_->stop();
        source_.reset();
    }
    endStream();
}

void AudioCapture::endStream() {
    if (!encoder_) {
        return;
    }
    // The last packet's worth of sound and what the encoder holds back.
    if (MaybeError error = encoder_->flush(packets_)) {
        logger_.error(QStringLiteral("[Capture] Audio encoding failed: %1").arg(error->description));
    }
    store(packets_);
    encoder_.reset();
}

bool AudioCapture::openEncoder(const AudioView& audio) {
    AudioStreamFormat format;
    format.channels = audio.channels;
    format.sampleRate = kStoredSampleRate;
    format.bitRate = audio.channels < 2 ? 96000 : 192000;
    Expected<std::unique_ptr<AudioEncoder>> opened = codecs_->encoder(format, origin_);
    if (!opened) {
        failEncoding(opened.error());
        return false;
    }
    encoder_ = std::move(opened).value();
    return true;
}

void AudioCapture::failEncoding(const Error& error) {
    // Told as a loss, once: a recording whose sound cannot be kept must not look as if it had it.
    encoderFailed_ = true;
    encoder_.reset();
    packets_.clear();
    tell_(Error(QStringLiteral("The sound cannot be compressed: %1").arg(error.description)));
}

void AudioCapture::store(std::vector<AudioPacket>& packets) {
    for (AudioPacket& packet : packets) {
        stores_->appendAudio(std::move(packet));
    }
    packets.clear();
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
    if (audio.channels <= 0 || audio.sampleRate <= 0 || audio.frameCount() < 1) {
        logger_.error(QStringLiteral("[Capture] Audio chunk %1 has no frames").arg(chunks));
        return;
    }
    if (encoderFailed_) {
        return;
    }
    // After a silence longer than the store holds nothing before it is kept anyway: the stream
    // starts anew instead of filling it.
    if (soundEnd_.isValid() &&
        (audio.presentationTime - soundEnd_).seconds() > stores_->audio()->maxDuration()) {
        endStream();
    }
    if (!encoder_ && !openEncoder(audio)) {
        return;
    }
    const MaybeError error = encoder_->encode(audio, packets_);
    soundEnd_ = audio.presentationTime + MediaTime(audio.frameCount(), audio.sampleRate);
    store(packets_); // what it finished before failing, too
    if (error) {
        failEncoding(*error);
    }
}

} // namespace backreel
