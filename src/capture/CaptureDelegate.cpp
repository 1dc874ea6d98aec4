#include "capture/CaptureDelegate.h"

#include "capture/VideoCompression.h"

namespace backreel {

namespace {
constexpr std::int64_t kVideoTraceInterval = 90;
constexpr std::int64_t kAudioTraceInterval = 100;
} // namespace

CaptureDelegate::CaptureDelegate(std::shared_ptr<VideoEncoder> encoder, std::shared_ptr<MediaStores> stores,
                                 Logger logger)
    : encoder_(std::move(encoder))
    , stores_(std::move(stores))
    , logger_(logger)
    , still_(MediaTime::makeWithSeconds(kKeyFrameIntervalSeconds, kTimeScale)) {}

void CaptureDelegate::didOutputVideoFrame(CaptureStream&, const VideoFrame& frame) {
    const std::optional<VideoFrame> encoded = still_.next(frame);
    if (!frame.image) {
        // The picture did not change: the encoder gets the last one again when it is due.
        if (encoded) {
            encoder_->encode(*encoded);
        }
        return;
    }
    const std::int64_t frames = videoFramesIn_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (frames == 1) {
        logger_.info(QStringLiteral("[Capture] First video frame: PTS=%1s dur=%2s")
                         .arg(fixed(frame.presentationTime.seconds(), 3))
                         .arg(fixed(frame.duration.seconds(), 4)));
    } else if (frames % kVideoTraceInterval == 0) {
        logger_.debug(QStringLiteral("[Capture] Video frame %1: PTS=%2s")
                          .arg(frames)
                          .arg(fixed(frame.presentationTime.seconds(), 3)));
    }
    // Encoder errors surface in the encoder's output.
    encoder_->encode(frame);
}

void CaptureDelegate::finishVideo() {
    if (const std::optional<VideoFrame> encoded = still_.last()) {
        encoder_->encode(*encoded);
    }
}

void CaptureDelegate::didOutputAudio(CaptureStream&, const AudioView& audio) {
    const std::int64_t chunks = audioChunksIn_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (chunks == 1) {
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

    std::optional<AudioChunk> copy = copyAudio(audio);
    if (!copy) {
        logger_.error(QStringLiteral("[Capture] Audio copy failed at chunk %1 (no frames)").arg(chunks));
        return;
    }
    stores_->appendAudio(std::move(*copy));
}

} // namespace backreel
