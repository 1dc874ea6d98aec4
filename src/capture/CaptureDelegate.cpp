#include "capture/CaptureDelegate.h"

namespace backreel {

namespace {
constexpr std::int64_t kVideoTraceInterval = 90;
constexpr std::int64_t kAudioTraceInterval = 100;
} // namespace

CaptureDelegate::CaptureDelegate(std::shared_ptr<CompressionSession> compressionSession,
                                 std::shared_ptr<AudioRingBuffer> audioRingBuffer, Logger logger)
    : compressionSession_(std::move(compressionSession))
    , audioRingBuffer_(std::move(audioRingBuffer))
    , logger_(logger) {}

void CaptureDelegate::didOutputSampleBuffer(CaptureStream&, const MediaSamplePtr& sample, StreamOutputType type) {
    if (!sample) {
        return;
    }
    switch (type) {
    case StreamOutputType::screen:
        handleScreen(*sample);
        break;
    case StreamOutputType::audio:
        handleAudio(*sample);
        break;
    case StreamOutputType::microphone:
        break;
    }
}

void CaptureDelegate::handleScreen(const MediaSample& sample) {
    const ImageBufferPtr& image = sample.imageBuffer();
    if (!image) {
        return; // a frame without a picture (e.g. the screen did not change)
    }
    const std::int64_t frames = videoFramesIn_.fetch_add(1, std::memory_order_relaxed) + 1;
    const MediaTime pts = sample.presentationTime();
    const MediaTime duration = sample.duration();
    if (frames == 1) {
        logger_.info(QStringLiteral("[Capture] First video frame: PTS=%1s dur=%2s")
                         .arg(fixed(pts.seconds(), 3))
                         .arg(fixed(duration.seconds(), 4)));
    } else if (frames % kVideoTraceInterval == 0) {
        logger_.debug(QStringLiteral("[Capture] Video frame %1: PTS=%2s").arg(frames).arg(fixed(pts.seconds(), 3)));
    }
    // Encoder errors surface in the session's output callback.
    compressionSession_->encodeFrame(image, pts, duration);
}

void CaptureDelegate::handleAudio(const MediaSample& sample) {
    const std::int64_t samples = audioSamplesIn_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (samples == 1) {
        logger_.info(QStringLiteral("[Capture] First audio callback: PTS=%1s frames=%2")
                         .arg(fixed(sample.presentationTime().seconds(), 3))
                         .arg(sample.numSamples()));
        const FormatDescriptionPtr& format = sample.formatDescription();
        if (const AudioStreamBasicDescription* asbd = format ? format->streamBasicDescription() : nullptr) {
            logger_.info(QStringLiteral("[Capture] Audio ASBD: %1Hz %2ch %3bit %4 %5 bpf=%6 bpp=%7 fpp=%8")
                             .arg(fixed(asbd->sampleRate, 6))
                             .arg(asbd->channelsPerFrame)
                             .arg(asbd->bitsPerChannel)
                             .arg(asbd->isFloat() ? QStringLiteral("float") : QStringLiteral("int"))
                             .arg(asbd->isNonInterleaved() ? QStringLiteral("non-interleaved")
                                                           : QStringLiteral("interleaved"))
                             .arg(asbd->bytesPerFrame)
                             .arg(asbd->bytesPerPacket)
                             .arg(asbd->framesPerPacket));
        }
    } else if (samples % kAudioTraceInterval == 0) {
        logger_.debug(QStringLiteral("[Capture] Audio sample %1: PTS=%2s ringCount=%3")
                          .arg(samples)
                          .arg(fixed(sample.presentationTime().seconds(), 3))
                          .arg(audioRingBuffer_->count()));
    }

    MediaSamplePtr copy = deepCopyAudioSample(sample, logger_);
    if (!copy) {
        logger_.error(QStringLiteral("[Capture] Audio deep copy failed at sample %1").arg(samples));
        return;
    }
    audioRingBuffer_->append(std::move(copy));
}

MediaSamplePtr deepCopyAudioSample(const MediaSample& sample, const Logger& log) {
    const FormatDescriptionPtr& format = sample.formatDescription();
    if (!format) {
        log.error(QStringLiteral("[DeepCopy] No format description"));
        return nullptr;
    }

    BlockBufferPtr block = sample.dataBuffer();
    if (!block) {
        std::size_t listSize = 0;
        sample.audioBufferListWithRetainedBlockBuffer(&listSize, nullptr, 0, nullptr);
        if (listSize > 0) {
            AudioBufferList list;
            BlockBufferPtr retained;
            if (sample.audioBufferListWithRetainedBlockBuffer(nullptr, &list, listSize, &retained) == 0) {
                block = std::move(retained);
            }
        }
        if (!block) {
            log.error(QStringLiteral("[DeepCopy] Could not obtain block buffer"));
            return nullptr;
        }
    }

    const std::size_t length = block->dataLength();
    if (length < 1) {
        return nullptr;
    }

    BlockBufferPtr contiguous;
    const std::int32_t copyStatus =
        BlockBuffer::createContiguous(*block, 0, length, BlockBuffer::kAlwaysCopyDataFlag, &contiguous);
    if (copyStatus != 0 || !contiguous) {
        log.error(QStringLiteral("[DeepCopy] CMBlockBufferCreateContiguous failed: %1").arg(copyStatus));
        return nullptr;
    }

    std::size_t timingCount = 0;
    sample.sampleTimingInfoArray(0, nullptr, &timingCount);
    std::vector<SampleTimingInfo> timing(timingCount);
    sample.sampleTimingInfoArray(timing.size(), timing.data(), &timingCount);

    std::size_t sizeCount = 0;
    sample.sampleSizeArray(0, nullptr, &sizeCount);
    std::vector<std::size_t> sizes(sizeCount);
    sample.sampleSizeArray(sizes.size(), sizes.data(), &sizeCount);

    MediaSamplePtr copy;
    const std::int32_t createStatus = MediaSample::create(std::move(contiguous), true, format, sample.numSamples(),
                                                          std::move(timing), std::move(sizes), &copy);
    if (createStatus != 0) {
        log.error(QStringLiteral("[DeepCopy] CMSampleBufferCreate failed: %1").arg(createStatus));
        return nullptr;
    }
    return copy;
}

} // namespace backreel
