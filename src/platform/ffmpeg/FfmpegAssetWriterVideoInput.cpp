#include "platform/ffmpeg/FfmpegAssetWriterVideoInput.h"

#include "platform/ffmpeg/FfmpegError.h"

#include <cstring>
#include <limits>
#include <span>
#include <variant>

namespace backreel {

namespace {

// Ticks of the video time base (1/90000 s) nearest to time.
std::int64_t toTicks(MediaTime time) {
    return av_rescale_rnd(time.value(), FfmpegAssetWriterVideoInput::kTimeBase.den,
                          static_cast<std::int64_t>(time.timeScale()) *
                              FfmpegAssetWriterVideoInput::kTimeBase.num,
                          AV_ROUND_NEAR_INF);
}

Error refusal(const QString& description) {
    return Error::backreel(1, description);
}

} // namespace

std::optional<AVCodecID> videoCodecOf(FourCC codecType) {
    if (codecType == codec::h264) {
        return AV_CODEC_ID_H264;
    }
    if (codecType == codec::hevc) {
        return AV_CODEC_ID_HEVC;
    }
    return std::nullopt;
}

FfmpegAssetWriterVideoInput::FfmpegAssetWriterVideoInput(std::shared_ptr<FfmpegAssetWriterMuxer> muxer,
                                                         FormatDescriptionPtr formatHint)
    : FfmpegAssetWriterInput(std::move(muxer), MediaType::video)
    , formatHint_(std::move(formatHint)) {}

std::optional<Error> FfmpegAssetWriterVideoInput::setupError() const {
    if (!formatHint_ || formatHint_->mediaType() != MediaType::video) {
        return Error::backreel(0,
                               QStringLiteral("A video input needs the format of the frames it will get."));
    }
    if (!videoCodecOf(formatHint_->mediaSubType())) {
        return Error::backreel(0, QStringLiteral("Video format '%1' cannot be written without re-encoding.")
                                      .arg(QString::fromStdString(formatHint_->mediaSubType().toString())));
    }
    const VideoDimensions size = formatHint_->videoDimensions();
    if (size.width <= 0 || size.height <= 0) {
        return Error::backreel(0, QStringLiteral("The video format has no picture size."));
    }
    return std::nullopt;
}

std::optional<Error> FfmpegAssetWriterVideoInput::describeStream(AVStream& stream) const {
    AVCodecParameters& parameters = *stream.codecpar;
    parameters.codec_type = AVMEDIA_TYPE_VIDEO;
    parameters.codec_id = *videoCodecOf(formatHint_->mediaSubType());
    if (parameters.codec_id == AV_CODEC_ID_HEVC) {
        // FFmpeg's own default is "hev1"; "hvc1" (parameter sets only in the sample description)
        // is what players such as QuickTime require.
        parameters.codec_tag = MKTAG('h', 'v', 'c', '1');
    }
    parameters.width = formatHint_->videoDimensions().width;
    parameters.height = formatHint_->videoDimensions().height;
    const std::vector<std::byte>& configuration = formatHint_->codecConfiguration();
    if (!configuration.empty()) {
        if (configuration.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
            return ffmpegError(AVERROR(EINVAL));
        }
        // FFmpeg's parsers read extradata in word-sized steps, hence the zeroed padding.
        auto* extradata =
            static_cast<std::uint8_t*>(av_mallocz(configuration.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (extradata == nullptr) {
            return ffmpegError(AVERROR(ENOMEM));
        }
        std::memcpy(extradata, configuration.data(), configuration.size());
        parameters.extradata = extradata; // freed with the stream
        parameters.extradata_size = static_cast<int>(configuration.size());
    }
    return std::nullopt;
}

bool FfmpegAssetWriterVideoInput::append(const MediaSamplePtr& sample) {
    const std::optional<std::size_t> videoTrack = track();
    if (!videoTrack) {
        return refuseUnattached();
    }
    std::lock_guard lock(mutex_);
    // A writer that is not writing refuses before any bytes are copied.
    if (!muxer().canAppend(*videoTrack)) {
        return false;
    }
    if (!sample) {
        muxer().fail(refusal(QStringLiteral("Cannot append a missing sample.")));
        return false;
    }
    Expected<AVPacketPtr> packet = packetFor(*sample);
    if (!packet) {
        muxer().fail(packet.error());
        return false;
    }
    std::vector<AVPacketPtr> packets;
    packets.push_back(std::move(packet).value());
    return muxer().push(*videoTrack, std::move(packets));
}

Expected<AVPacketPtr> FfmpegAssetWriterVideoInput::packetFor(const MediaSample& sample) {
    const BlockBufferPtr& data = sample.dataBuffer();
    if (!data || data->dataLength() == 0) {
        return refusal(QStringLiteral("A video sample without data cannot be written."));
    }
    if (data->dataLength() >
        static_cast<std::size_t>(std::numeric_limits<int>::max() - AV_INPUT_BUFFER_PADDING_SIZE)) {
        return refusal(QStringLiteral("A video sample of %1 bytes is too large.").arg(data->dataLength()));
    }
    const MediaTime presentationTime = sample.presentationTime();
    if (!presentationTime.isValid()) {
        return refusal(QStringLiteral("A video sample without a time stamp cannot be written."));
    }
    const std::int64_t ticks = toTicks(presentationTime);
    if (lastTicks_ && ticks <= *lastTicks_) {
        return refusal(QStringLiteral("Video samples must come in time order: %1 s after %2 s.")
                           .arg(presentationTime.seconds(), 0, 'f', 6)
                           .arg(static_cast<double>(*lastTicks_) / kTimeBase.den, 0, 'f', 6));
    }
    AVPacketPtr packet(av_packet_alloc());
    if (!packet) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    if (const int result = av_new_packet(packet.get(), static_cast<int>(data->dataLength())); result < 0) {
        return ffmpegError(result);
    }
    if (data->copyDataBytes(0, std::span(reinterpret_cast<std::byte*>(packet->data), data->dataLength())) !=
        0) {
        return refusal(QStringLiteral("The video sample's data cannot be read."));
    }
    packet->pts = ticks;
    packet->dts = ticks; // compressed without frame reordering: decode order is presentation order
    const MediaTime duration = sample.duration();
    packet->duration = duration.isValid() && duration.value() > 0 ? toTicks(duration) : 0;
    if (isSyncSample(sample)) {
        packet->flags |= AV_PKT_FLAG_KEY;
    }
    lastTicks_ = ticks;
    return packet;
}

void FfmpegAssetWriterVideoInput::markAsFinished() {
    const std::optional<std::size_t> videoTrack = track();
    std::lock_guard lock(mutex_);
    if (videoTrack) {
        muxer().markFinished(*videoTrack);
    }
}

} // namespace backreel
