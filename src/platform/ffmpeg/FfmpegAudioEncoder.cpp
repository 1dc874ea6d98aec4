#include "platform/ffmpeg/FfmpegAudioEncoder.h"

#include "platform/ffmpeg/FfmpegError.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace backreel {

namespace {

// Frames converted per call: bounds the scratch buffers whatever the size of a chunk.
constexpr int kConversionChunk = 4096;
// libswresample's limit on input channels.
constexpr int kMaxSourceChannels = 64;

// A channel layout filled in by FFmpeg, released when it goes.
struct ChannelLayout {
    explicit ChannelLayout(int channels) { av_channel_layout_default(&layout, channels); }
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    AVChannelLayout layout{};
};

Error audioError(const QString& description) {
    return Error(description);
}

} // namespace

Expected<std::unique_ptr<FfmpegAudioEncoder>> FfmpegAudioEncoder::open(const AudioStreamFormat& settings) {
    if (settings.channels < 1 || settings.channels > kMaxAacChannels || settings.sampleRate < 1 ||
        settings.bitRate <= 0) {
        return audioError(
            QStringLiteral("Audio track settings not supported: %1 channels at %2 Hz, %3 bit/s.")
                .arg(settings.channels)
                .arg(settings.sampleRate)
                .arg(settings.bitRate));
    }
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");
    if (aac == nullptr) {
        return ffmpegError(AVERROR_ENCODER_NOT_FOUND);
    }
    std::unique_ptr<FfmpegAudioEncoder> encoder(new FfmpegAudioEncoder());
    encoder->context_.reset(avcodec_alloc_context3(aac));
    encoder->frame_.reset(av_frame_alloc());
    if (!encoder->context_ || !encoder->frame_) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    AVCodecContext& context = *encoder->context_;
    context.sample_fmt = AV_SAMPLE_FMT_FLTP;
    context.sample_rate = settings.sampleRate;
    av_channel_layout_default(&context.ch_layout, settings.channels);
    context.bit_rate = settings.bitRate;
    context.time_base = AVRational{1, settings.sampleRate};
    // MP4 keeps the AudioSpecificConfig in the sample description, not in the stream.
    context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The encoder's fast search instead of its default "twoloop" one: it halves the encoding time,
    // which is most of a save's time (about 1 s instead of 2 s for three minutes of stereo), and at
    // these bit rates its output is as close to the source as the default's.
    av_opt_set(context.priv_data, "aac_coder", "fast", 0);
    if (const int result = avcodec_open2(&context, aac, nullptr); result < 0) {
        return ffmpegError(result);
    }
    encoder->fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, settings.channels, context.frame_size * 2));
    if (!encoder->fifo_) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    encoder->converted_.resize(static_cast<std::size_t>(settings.channels));
    return encoder;
}

FfmpegAudioEncoder::~FfmpegAudioEncoder() = default;

int FfmpegAudioEncoder::copyParameters(AVCodecParameters* parameters) const {
    return avcodec_parameters_from_context(parameters, context_.get());
}

AVRational FfmpegAudioEncoder::timeBase() const {
    return context_->time_base;
}

MaybeError FfmpegAudioEncoder::configureSource(int channels, int rate) {
    if (channels < 1 || channels > kMaxSourceChannels || rate < 1) {
        return audioError(
            QStringLiteral("Audio of %1 channels at %2 Hz cannot be encoded.").arg(channels).arg(rate));
    }
    if (resampler_) {
        // What the old converter still holds goes into the FIFO before anything in the new format.
        if (MaybeError error = drainResampler()) {
            return error;
        }
    }
    ChannelLayout input(channels); // libswresample takes the layouts by non-const pointer
    SwrContext* raw = nullptr;
    const int allocated =
        swr_alloc_set_opts2(&raw, &context_->ch_layout, AV_SAMPLE_FMT_FLTP, context_->sample_rate,
                            &input.layout, AV_SAMPLE_FMT_FLT, rate, 0, nullptr);
    SwrContextPtr resampler(raw);
    if (allocated < 0) {
        return ffmpegError(allocated);
    }
    if (const int result = swr_init(resampler.get()); result < 0) {
        return ffmpegError(result);
    }
    resampler_ = std::move(resampler);
    if (!clock_) {
        clock_.emplace(static_cast<double>(rate));
    } else if (rate != sourceRate_) {
        clock_->changeRate(static_cast<double>(rate));
    }
    sourceChannels_ = channels;
    sourceRate_ = rate;
    silence_.clear();
    return std::nullopt;
}

MaybeError FfmpegAudioEncoder::encode(const AudioView& sound, MediaTime start,
                                      std::vector<AVPacketPtr>& out) {
    if (flushed_) {
        return audioError(QStringLiteral("The audio encoder has already been flushed."));
    }
    if (!sound.presentationTime.isValid() || !start.isValid()) {
        return audioError(QStringLiteral("Audio without a time stamp cannot be placed."));
    }
    const std::int64_t frames = sound.frameCount();
    if (frames == 0) {
        return std::nullopt;
    }
    if (sound.channels != sourceChannels_ || sound.sampleRate != sourceRate_) {
        if (MaybeError error = configureSource(sound.channels, sound.sampleRate)) {
            return error;
        }
    }
    const AudioPlacement placement =
        clock_->place(framesBetween(start, sound.presentationTime, sourceRate_), frames);
    if (placement.anchor) {
        // Nothing has gone into the converter before the anchor, so the output counts from here.
        nextPts_ = av_rescale_rnd(*placement.anchor, context_->sample_rate, sourceRate_, AV_ROUND_NEAR_INF);
    }
    if (MaybeError error = convertSilence(placement.silence, out)) {
        return error;
    }
    const float* samples = sound.samples.data();
    for (std::int64_t done = 0; done < placement.take;) {
        const auto count = static_cast<int>(std::min<std::int64_t>(placement.take - done, kConversionChunk));
        if (MaybeError error = convert(samples + (placement.skip + done) * sourceChannels_, count)) {
            return error;
        }
        done += count;
    }
    return encodeFifo(false, out);
}

MaybeError FfmpegAudioEncoder::flush(std::vector<AVPacketPtr>& out) {
    if (flushed_) {
        return std::nullopt;
    }
    flushed_ = true;
    if (resampler_) {
        if (MaybeError error = drainResampler()) {
            return error;
        }
    }
    if (MaybeError error = encodeFifo(true, out)) {
        return error;
    }
    return sendFrame(nullptr, out);
}

MaybeError FfmpegAudioEncoder::convert(const float* samples, int frames) {
    const int capacity = swr_get_out_samples(resampler_.get(), frames);
    if (capacity < 0) {
        return ffmpegError(capacity);
    }
    std::array<std::uint8_t*, kMaxAacChannels> output{};
    for (std::size_t channel = 0; channel < converted_.size(); ++channel) {
        std::vector<float>& plane = converted_[channel];
        plane.resize(std::max(plane.size(), static_cast<std::size_t>(capacity)));
        output[channel] = reinterpret_cast<std::uint8_t*>(plane.data());
    }
    // libswresample's input parameter is not const-qualified all the way; it only reads.
    const auto* input = reinterpret_cast<const std::uint8_t*>(samples);
    const int converted =
        swr_convert(resampler_.get(), output.data(), capacity, samples != nullptr ? &input : nullptr, frames);
    if (converted < 0) {
        return ffmpegError(converted);
    }
    if (converted > 0 &&
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(output.data()), converted) < converted) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    return std::nullopt;
}

MaybeError FfmpegAudioEncoder::convertSilence(std::int64_t frames, std::vector<AVPacketPtr>& out) {
    if (frames <= 0) {
        return std::nullopt;
    }
    silence_.resize(static_cast<std::size_t>(sourceChannels_) * kConversionChunk, 0.0f);
    while (frames > 0) {
        const auto count = static_cast<int>(std::min<std::int64_t>(frames, kConversionChunk));
        // Encoded a step at a time, so a long gap never sits in the FIFO whole.
        if (MaybeError error = convert(silence_.data(), count)) {
            return error;
        }
        if (MaybeError error = encodeFifo(false, out)) {
            return error;
        }
        frames -= count;
    }
    return std::nullopt;
}

MaybeError FfmpegAudioEncoder::drainResampler() {
    for (;;) {
        const int before = av_audio_fifo_size(fifo_.get());
        if (MaybeError error = convert(nullptr, 0)) {
            return error;
        }
        if (av_audio_fifo_size(fifo_.get()) == before) {
            return std::nullopt;
        }
    }
}

MaybeError FfmpegAudioEncoder::encodeFifo(bool final, std::vector<AVPacketPtr>& out) {
    const int frameSize = context_->frame_size;
    for (;;) {
        const int available = av_audio_fifo_size(fifo_.get());
        if (available <= 0 || (available < frameSize && !final)) {
            return std::nullopt;
        }
        const int count = std::min(available, frameSize);
        AVFrame* frame = frame_.get();
        av_frame_unref(frame);
        frame->nb_samples = count;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = context_->sample_rate;
        if (const int result = av_channel_layout_copy(&frame->ch_layout, &context_->ch_layout); result < 0) {
            return ffmpegError(result);
        }
        if (const int result = av_frame_get_buffer(frame, 0); result < 0) {
            return ffmpegError(result);
        }
        if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), count) < count) {
            return ffmpegError(AVERROR_BUG);
        }
        frame->pts = nextPts_;
        nextPts_ += count;
        float peak = 0;
        for (int channel = 0; channel < frame->ch_layout.nb_channels; ++channel) {
            const auto* plane = reinterpret_cast<const float*>(frame->data[channel]);
            for (int i = 0; i < count; ++i) {
                peak = std::max(peak, std::abs(plane[i]));
            }
        }
        framePeaks_.emplace_back(frame->pts, peak);
        if (MaybeError error = sendFrame(frame, out)) {
            return error;
        }
    }
}

float FfmpegAudioEncoder::takePeak(std::int64_t pts) {
    while (!framePeaks_.empty() && framePeaks_.front().first < pts) {
        framePeaks_.pop_front();
    }
    if (framePeaks_.empty() || framePeaks_.front().first != pts) {
        return 0;
    }
    const float peak = framePeaks_.front().second;
    framePeaks_.pop_front();
    return peak;
}

MaybeError FfmpegAudioEncoder::sendFrame(const AVFrame* frame, std::vector<AVPacketPtr>& out) {
    if (const int result = avcodec_send_frame(context_.get(), frame); result < 0) {
        return ffmpegError(result);
    }
    for (;;) {
        AVPacketPtr packet(av_packet_alloc());
        if (!packet) {
            return ffmpegError(AVERROR(ENOMEM));
        }
        const int result = avcodec_receive_packet(context_.get(), packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return std::nullopt;
        }
        if (result < 0) {
            return ffmpegError(result);
        }
        out.push_back(std::move(packet));
    }
}

} // namespace backreel
