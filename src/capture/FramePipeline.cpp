#include "capture/FramePipeline.h"

#include "capture/VideoCompression.h"

namespace backreel {

namespace {
constexpr std::int64_t kVideoTraceInterval = 90;
} // namespace

FramePipeline::FramePipeline(std::shared_ptr<VideoEncoder> encoder, Logger logger)
    : encoder_(std::move(encoder))
    , logger_(logger)
    , still_(MediaTime::makeWithSeconds(kKeyFrameIntervalSeconds, kTimeScale)) {}

void FramePipeline::takeFrame(const VideoFrame& frame) {
    const std::optional<VideoFrame> encoded = still_.next(frame);
    if (!frame.image) {
        // The picture did not change: the encoder gets the last one again when it is due.
        if (encoded) {
            encode(*encoded);
        }
        return;
    }
    const std::int64_t frames = framesIn_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (frames == 1) {
        logger_.info(QStringLiteral("[Capture] First video frame: PTS=%1s dur=%2s")
                         .arg(fixed(frame.presentationTime.seconds(), 3))
                         .arg(fixed(frame.duration.seconds(), 4)));
    } else if (frames % kVideoTraceInterval == 0) {
        logger_.debug(QStringLiteral("[Capture] Video frame %1: PTS=%2s")
                          .arg(frames)
                          .arg(fixed(frame.presentationTime.seconds(), 3)));
    }
    encode(frame);
}

void FramePipeline::finish() {
    if (const std::optional<VideoFrame> encoded = still_.last()) {
        encode(*encoded);
    }
    if (droppedInBurst_ > 0) {
        logger_.info(QStringLiteral("[Capture] %1 frames were dropped at the end: the encoder was behind")
                         .arg(droppedInBurst_));
        droppedInBurst_ = 0;
    }
}

void FramePipeline::encode(const VideoFrame& frame) {
    // Encoder errors surface in the encoder's output.
    if (encoder_->encode(frame)) {
        if (droppedInBurst_ > 0) {
            logger_.info(QStringLiteral("[Capture] The encoder caught up after %1 dropped frames")
                             .arg(droppedInBurst_));
            droppedInBurst_ = 0;
        }
        return;
    }
    framesDropped_.fetch_add(1, std::memory_order_relaxed);
    if (droppedInBurst_++ == 0) {
        logger_.error(QStringLiteral("[Capture] The encoder is behind: dropping frames at PTS=%1s")
                          .arg(fixed(frame.presentationTime.seconds(), 3)));
    }
}

} // namespace backreel
