#include "capture/VideoCompression.h"

#include "core/dispatch/Completion.h"

namespace backreel {

namespace {
constexpr std::int64_t kCompressedTraceInterval = 90;
} // namespace

VideoCodec chooseCodec(VideoEncoderService& service, std::int32_t width, std::int32_t height,
                       CodecChoice choice) {
    if (choice == CodecChoice::h264) {
        return VideoCodec::h264;
    }
    VideoEncoderSettings probe = recordingEncoderSettings(VideoCodec::hevc, width, height);
    probe.requireHardware = true;
    // Opened only to learn whether it opens; closed again at once.
    Expected<std::unique_ptr<VideoEncoder>, EncoderError> encoder = service.open(probe, EncoderOutput{});
    return encoder ? VideoCodec::hevc : VideoCodec::h264;
}

VideoEncoderSettings recordingEncoderSettings(VideoCodec codec, std::int32_t width, std::int32_t height,
                                              int frameRate) {
    VideoEncoderSettings settings;
    settings.width = width;
    settings.height = height;
    settings.codec = codec;
    settings.profile = codec == VideoCodec::hevc ? VideoProfile::hevcMain : VideoProfile::h264High;
    const std::int64_t bitRate = codec == VideoCodec::hevc ? 10'000'000 : 20'000'000;
    settings.averageBitRate = frameRate > 30 ? bitRate * 3 / 2 : bitRate;
    settings.frameRate = frameRate;
    settings.constantQuality = kRecordingQuality;
    settings.maxKeyFrameInterval = 30;
    settings.maxKeyFrameIntervalSeconds = kKeyFrameIntervalSeconds;
    return settings;
}

EncoderOutput ringBufferOutput(std::shared_ptr<MediaStores> stores, Logger logger) {
    EncoderOutput output;
    // Shared by every copy of the output; touched only on the encoder's thread.
    auto packetsOut = std::make_shared<std::int64_t>(0);
    output.packet = [stores, packetsOut, logger](const VideoPacket& packet) {
        const std::int64_t framesOut = ++*packetsOut;
        if (framesOut == 1) {
            logger.info(QStringLiteral("[Encoder] First compressed frame out: PTS=%1s isKeyframe=%2")
                            .arg(fixed(packet.presentationTime.seconds(), 3))
                            .arg(boolText(packet.keyFrame)));
        } else if (framesOut % kCompressedTraceInterval == 0) {
            logger.debug(QStringLiteral("[Encoder] Compressed frame %1 out").arg(framesOut));
        }
        stores->appendVideo(packet);
    };
    output.error = [logger](const EncoderError& error) {
        logger.error(QStringLiteral("[Encoder] Encode error: %1").arg(error.message));
    };
    return output;
}

Expected<std::shared_ptr<VideoEncoder>> openRecordingEncoder(VideoEncoderService& service, std::int32_t width,
                                                             std::int32_t height,
                                                             std::shared_ptr<MediaStores> stores,
                                                             const Logger& logger, CodecChoice choice,
                                                             int frameRate) {
    const VideoCodec codec = chooseCodec(service, width, height, choice);
    const VideoEncoderSettings settings = recordingEncoderSettings(codec, width, height, frameRate);
    logger.info(QStringLiteral("[Compression] Creating session: codec=%1, %2×%3 at %4 fps")
                    .arg(QLatin1String(codecLogName(codec)))
                    .arg(width)
                    .arg(height)
                    .arg(frameRate));

    Expected<std::unique_ptr<VideoEncoder>, EncoderError> encoder =
        service.open(settings, ringBufferOutput(std::move(stores), logger));
    if (!encoder) {
        const QString message =
            QStringLiteral("Failed to create compression session (%1).").arg(encoder.error().message);
        logger.error(QStringLiteral("[Compression] %1").arg(message));
        return Error(message);
    }
    logger.info(QStringLiteral("[Compression] Session ready: %1, bitrate=%2Mbps, keyframeInterval=0.5s")
                    .arg(QLatin1String(codecLogName(codec)))
                    .arg(settings.averageBitRate / 1'000'000));
    return std::shared_ptr<VideoEncoder>(std::move(encoder).value());
}

QCoro::Task<> finishEncoder(std::shared_ptr<VideoEncoder> encoder) {
    // Named, not a temporary of the awaited expression: GCC 12 destroys those twice.
    std::function<void()> finish = [encoder] {
        encoder->finish();
    };
    co_await runInBackground("Encoder finish", std::move(finish));
}

} // namespace backreel
