#include "platform/ffmpeg/FfmpegAudioCodec.h"

#include "platform/ffmpeg/AudioTrackClock.h"
#include "platform/ffmpeg/FfmpegAudioEncoder.h"
#include "platform/ffmpeg/FfmpegError.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace backreel {

namespace {

class FfmpegAacEncoder final : public AudioEncoder {
public:
    FfmpegAacEncoder(std::unique_ptr<FfmpegAudioEncoder> encoder, AudioStreamFormatPtr format,
                     AudioOrigin origin)
        : encoder_(std::move(encoder))
        , format_(std::move(format))
        , origin_(origin) {}

    MaybeError encode(const AudioView& sound, std::vector<AudioPacket>& out) override {
        if (!start_ && sound.presentationTime.isValid()) {
            start_ = sound.presentationTime;
        }
        // What was finished before a failure is kept all the same.
        const MaybeError error = encoder_->encode(sound, start_.value_or(MediaTime::invalid()), encoded_);
        take(out);
        return error;
    }

    MaybeError flush(std::vector<AudioPacket>& out) override {
        if (!start_) {
            return std::nullopt; // nothing went in
        }
        const MaybeError error = encoder_->flush(encoded_);
        take(out);
        return error;
    }

    AudioStreamFormatPtr format() const override { return format_; }

private:
    void take(std::vector<AudioPacket>& out) {
        const std::int32_t rate = format_->sampleRate;
        for (const AVPacketPtr& packet : encoded_) {
            const auto* bytes = reinterpret_cast<const std::byte*>(packet->data);
            AudioPacket compressed;
            compressed.data = std::make_shared<const std::vector<std::byte>>(bytes, bytes + packet->size);
            compressed.presentationTime = *start_ + MediaTime(packet->pts, rate);
            compressed.duration =
                MediaTime(packet->duration > 0 ? packet->duration : format_->frameSize, rate);
            compressed.origin = origin_;
            compressed.format = format_;
            compressed.peak = encoder_->takePeak(packet->pts);
            out.push_back(std::move(compressed));
        }
        encoded_.clear();
    }

    std::unique_ptr<FfmpegAudioEncoder> encoder_;
    AudioStreamFormatPtr format_;
    AudioOrigin origin_;
    std::optional<MediaTime> start_;
    std::vector<AVPacketPtr> encoded_;
};

class FfmpegAacDecoder final : public AudioDecoder {
public:
    static Expected<std::unique_ptr<AudioDecoder>> open(const AudioStreamFormat& format) {
        const AVCodec* aac = avcodec_find_decoder(AV_CODEC_ID_AAC);
        if (aac == nullptr) {
            return ffmpegError(AVERROR_DECODER_NOT_FOUND);
        }
        std::unique_ptr<FfmpegAacDecoder> decoder(new FfmpegAacDecoder());
        decoder->context_.reset(avcodec_alloc_context3(aac));
        decoder->frame_.reset(av_frame_alloc());
        decoder->packet_.reset(av_packet_alloc());
        if (!decoder->context_ || !decoder->frame_ || !decoder->packet_) {
            return ffmpegError(AVERROR(ENOMEM));
        }
        AVCodecContext& context = *decoder->context_;
        context.sample_rate = format.sampleRate;
        av_channel_layout_default(&context.ch_layout, format.channels);
        if (const int result =
                copyExtradata(format.codecConfiguration, &context.extradata, &context.extradata_size);
            result < 0) {
            return ffmpegError(result);
        }
        if (const int result = avcodec_open2(&context, aac, nullptr); result < 0) {
            return ffmpegError(result);
        }
        return std::unique_ptr<AudioDecoder>(std::move(decoder));
    }

    Expected<AudioChunk> decode(const AudioPacket& packet) override {
        if (!packet.data || packet.data->empty() ||
            packet.data->size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
            return Error(QStringLiteral("An audio packet without data cannot be decoded."));
        }
        av_packet_unref(packet_.get());
        if (const int result = av_new_packet(packet_.get(), static_cast<int>(packet.data->size()));
            result < 0) {
            return ffmpegError(result);
        }
        std::memcpy(packet_->data, packet.data->data(), packet.data->size());
        if (const int result = avcodec_send_packet(context_.get(), packet_.get()); result < 0) {
            return ffmpegError(result);
        }
        auto samples = std::make_shared<std::vector<float>>();
        std::int32_t channels = context_->ch_layout.nb_channels;
        // The last packet of a stream decodes to a whole frame; only its own length is sound.
        const std::int64_t length =
            packet.duration.isValid() && packet.duration.value() > 0
                ? framesBetween(MediaTime(0, 1), packet.duration, context_->sample_rate)
                : std::numeric_limits<std::int64_t>::max();
        for (;;) {
            const int result = avcodec_receive_frame(context_.get(), frame_.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
                break;
            }
            if (result < 0) {
                return ffmpegError(result);
            }
            if (frame_->format != AV_SAMPLE_FMT_FLTP) {
                return Error(
                    QStringLiteral("The AAC decoder gave samples in a format Backreel does not read."));
            }
            channels = frame_->ch_layout.nb_channels;
            const std::size_t before = samples->size();
            samples->resize(before + static_cast<std::size_t>(frame_->nb_samples) *
                                         static_cast<std::size_t>(channels));
            for (int channel = 0; channel < channels; ++channel) {
                const auto* plane = reinterpret_cast<const float*>(frame_->extended_data[channel]);
                for (int i = 0; i < frame_->nb_samples; ++i) {
                    (*samples)[before + static_cast<std::size_t>(i * channels + channel)] = plane[i];
                }
            }
            av_frame_unref(frame_.get());
        }
        const auto kept = static_cast<std::size_t>(std::min<std::int64_t>(
            length, static_cast<std::int64_t>(samples->size()) / std::max(channels, 1)));
        samples->resize(kept * static_cast<std::size_t>(std::max(channels, 1)));
        return AudioChunk{std::move(samples), channels, context_->sample_rate, packet.presentationTime,
                          packet.origin};
    }

private:
    FfmpegAacDecoder() = default;

    AVCodecContextPtr context_;
    AVFramePtr frame_;
    AVPacketPtr packet_;
};

} // namespace

Expected<std::unique_ptr<AudioEncoder>> FfmpegAudioCodecService::encoder(const AudioStreamFormat& format,
                                                                         AudioOrigin origin) {
    Expected<std::unique_ptr<FfmpegAudioEncoder>> opened = FfmpegAudioEncoder::open(format);
    if (!opened) {
        return opened.error();
    }
    std::unique_ptr<FfmpegAudioEncoder> encoder = std::move(opened).value();
    AVCodecParametersPtr parameters(avcodec_parameters_alloc());
    if (!parameters) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    if (const int result = encoder->copyParameters(parameters.get()); result < 0) {
        return ffmpegError(result);
    }
    auto stream = std::make_shared<AudioStreamFormat>(format);
    stream->frameSize = parameters->frame_size > 0 ? parameters->frame_size : 1024;
    const auto* configuration = reinterpret_cast<const std::byte*>(parameters->extradata);
    stream->codecConfiguration.assign(configuration, configuration + std::max(parameters->extradata_size, 0));
    return std::unique_ptr<AudioEncoder>(
        std::make_unique<FfmpegAacEncoder>(std::move(encoder), std::move(stream), origin));
}

Expected<std::unique_ptr<AudioDecoder>> FfmpegAudioCodecService::decoder(const AudioStreamFormat& format) {
    return FfmpegAacDecoder::open(format);
}

} // namespace backreel
