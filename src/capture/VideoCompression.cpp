#include "capture/VideoCompression.h"

#include "platform/media/MediaSample.h"

#include "platform/dispatch/Completion.h"

namespace backreel {

namespace {
struct CodecSettings {
    const char* logName;
    std::int64_t bitRate;
    ProfileLevel profileLevel;
};

CodecSettings settingsFor(FourCC codecType) {
    if (codecType == codec::hevc) {
        return {"HEVC", 10'000'000, ProfileLevel::hevcMainAutoLevel};
    }
    return {"H264", 20'000'000, ProfileLevel::h264HighAutoLevel};
}
} // namespace

FourCC chooseCodec(CompressionService& service, std::int32_t width, std::int32_t height) {
    EncoderSpecification hardwareOnly;
    hardwareOnly.requireHardwareAcceleratedVideoEncoder = true;
    std::shared_ptr<CompressionSession> probe;
    const std::int32_t status =
        service.createSession(width, height, codec::hevc, &hardwareOnly, nullptr, nullptr, &probe);
    if (probe) {
        probe->invalidate();
    }
    return status == compression_status::kNoError ? codec::hevc : codec::h264;
}

Expected<CompressionSetup> createCompressionSession(CompressionService& service, std::int32_t width,
                                                    std::int32_t height, std::shared_ptr<RingBuffer> ringBuffer,
                                                    const Logger& logger) {
    const FourCC codecType = chooseCodec(service, width, height);
    const CodecSettings settings = settingsFor(codecType);
    logger.info(QStringLiteral("[Compression] Creating session: codec=%1, %2×%3")
                    .arg(QLatin1String(settings.logName))
                    .arg(width)
                    .arg(height));

    auto context = std::make_shared<CallbackContext>(std::move(ringBuffer), logger);
    std::shared_ptr<CompressionSession> session;
    const std::int32_t status = service.createSession(width, height, codecType, nullptr, compressionOutputCallback,
                                                      context.get(), &session);
    if (status != compression_status::kNoError || !session) {
        return Error::backreel(status,
                               QStringLiteral("Failed to create compression session (err %1).").arg(status));
    }

    session->setProperty(CompressionProperty::realTime, true);
    session->setProperty(CompressionProperty::averageBitRate, settings.bitRate);
    session->setProperty(CompressionProperty::allowFrameReordering, false);
    session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{30});
    session->setProperty(CompressionProperty::maxKeyFrameIntervalDuration, 0.5);
    session->setProperty(CompressionProperty::profileLevel, settings.profileLevel);
    session->prepareToEncodeFrames();

    logger.info(QStringLiteral("[Compression] Session ready: %1, bitrate=%2Mbps, keyframeInterval=0.5s")
                    .arg(QLatin1String(settings.logName))
                    .arg(settings.bitRate / 1'000'000));
    return CompressionSetup{std::move(session), std::move(context)};
}

void compressionOutputCallback(void* refcon, std::int32_t status, const MediaSamplePtr& sample) {
    auto* context = static_cast<CallbackContext*>(refcon);
    if (context == nullptr) {
        return;
    }
    if (sample && status == compression_status::kNoError) {
        const std::int64_t framesOut = context->framesOut.fetch_add(1, std::memory_order_relaxed) + 1;
        if (framesOut == 1) {
            context->logger.info(QStringLiteral("[VT] First compressed frame out: PTS=%1s isKeyframe=%2")
                                     .arg(fixed(sample->presentationTime().seconds(), 3))
                                     .arg(boolText(isSyncSample(*sample))));
        } else if (framesOut % 90 == 0) {
            context->logger.debug(QStringLiteral("[VT] Compressed frame %1 out").arg(framesOut));
        }
        context->ringBuffer->append(sample);
        return;
    }
    if (status == compression_status::kNoError) {
        return; // the encoder dropped the frame
    }
    context->logger.error(QStringLiteral("[VT] Encode error: status=%1").arg(status));
}

QCoro::Task<> completeAndInvalidate(std::shared_ptr<CompressionSession> session) {
    // Named, not a temporary of the awaited expression: GCC 12 destroys those twice.
    std::function<void()> complete = [session] {
        session->completeFrames(MediaTime::invalid());
        session->invalidate();
    };
    co_await runInBackground(std::move(complete));
}

} // namespace backreel
