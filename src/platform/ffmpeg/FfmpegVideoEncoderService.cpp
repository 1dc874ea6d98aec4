#include "platform/ffmpeg/FfmpegVideoEncoderService.h"

#include "core/log/Log.h"
#include "platform/ffmpeg/FfmpegCodecSetup.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegVideoEncoder.h"

#include <optional>
#include <QStringList>

namespace backreel {

namespace {

using Kind = EncoderError::Kind;

QString sizeText(const VideoEncoderSettings& settings) {
    return QStringLiteral("%1×%2").arg(settings.width).arg(settings.height);
}

QLatin1String codecName(VideoCodec codec) {
    return QLatin1String(codec == VideoCodec::hevc ? "HEVC" : "H.264");
}

// The first hardware encoder of the codec that opens at the size, or why none did, one reason per
// encoder ("hevc_vaapi: No such device; hevc_nvenc: Encoder not found; ...").
Expected<OpenCodec, QString> openHardwareCodec(const VideoEncoderSettings& settings) {
    if (needsFullChroma(settings.width, settings.height)) {
        return QStringLiteral("hardware encoders take no picture with an odd side");
    }
    const ScopedFfmpegLogLevel silence(AV_LOG_QUIET);
    QStringList reasons;
    for (const EncoderCandidate& candidate : hardwareEncoders(settings.codec)) {
        Expected<OpenCodec, int> codec = openCodec(candidate, settings, {});
        if (codec) {
            return std::move(codec).value();
        }
        reasons << QStringLiteral("%1: %2").arg(QLatin1String(candidate.name), ffmpegReason(codec.error()));
    }
    return reasons.join(QStringLiteral("; "));
}

} // namespace

Expected<std::unique_ptr<VideoEncoder>, EncoderError>
FfmpegVideoEncoderService::open(const VideoEncoderSettings& settings, EncoderOutput output) {
    Expected<std::unique_ptr<FfmpegVideoEncoder>, EncoderError> encoder =
        openFfmpeg(settings, std::move(output));
    if (!encoder) {
        return encoder.error();
    }
    return std::unique_ptr<VideoEncoder>(std::move(encoder).value());
}

Expected<std::unique_ptr<FfmpegVideoEncoder>, EncoderError>
FfmpegVideoEncoderService::openFfmpeg(const VideoEncoderSettings& settings, EncoderOutput output) {
    if (settings.width <= 0 || settings.height <= 0) {
        return EncoderError{Kind::unsupportedSize,
                            QStringLiteral("%1 is not a picture size").arg(sizeText(settings))};
    }
    if (!isEncodableSize(settings.width, settings.height)) {
        return EncoderError{Kind::unsupportedSize,
                            QStringLiteral("%1 is larger than an encoder can take").arg(sizeText(settings))};
    }

    std::optional<OpenCodec> codec;
    Expected<OpenCodec, QString> hardware = openHardwareCodec(settings);
    if (hardware) {
        codec = std::move(hardware).value();
    } else if (settings.requireHardware || settings.codec == VideoCodec::hevc) {
        return EncoderError{Kind::unavailable,
                            QStringLiteral("no hardware %1 encoder opened at %2 (%3)")
                                .arg(codecName(settings.codec), sizeText(settings), hardware.error())};
    } else {
        const std::string preset =
            options_.softwarePreset.empty() ? kDefaultSoftwarePreset : options_.softwarePreset;
        Expected<OpenCodec, int> software = openCodec(kSoftwareH264Encoder, settings, preset);
        if (!software && software.error() == AVERROR_ENCODER_NOT_FOUND) {
            return EncoderError{
                Kind::unavailable,
                QStringLiteral("this FFmpeg has no libx264, and no hardware H.264 encoder opened "
                               "at %1 (%2). Install an FFmpeg built with libx264: on Debian and "
                               "Ubuntu the packages libavcodec59 and libx264-164, on Fedora "
                               "libavcodec-freeworld from RPM Fusion")
                    .arg(sizeText(settings), hardware.error())};
        }
        if (!software) {
            return EncoderError{Kind::openFailed,
                                QStringLiteral("libx264 could not open at %1 (%2)")
                                    .arg(sizeText(settings), ffmpegReason(software.error()))};
        }
        codec = std::move(software).value();
    }

    if (!settings.requireHardware) {
        Logger::recording().info(
            QStringLiteral("[Compression] Encoder: %1 for %2 at %3")
                .arg(QLatin1String(codec->candidate.name), codecName(settings.codec), sizeText(settings)));
    }
    return std::make_unique<FfmpegVideoEncoder>(std::move(*codec), settings, std::move(output));
}

} // namespace backreel
