#include "platform/ffmpeg/FfmpegAudioEncoder.h"

#include "platform/ffmpeg/FfmpegError.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace backreel {

namespace {

// The audio stream description's flag for big-endian samples; FFmpeg's converter takes native
// order only.
constexpr std::uint32_t kFormatFlagIsBigEndian = 2;
// Frames converted per call: bounds the scratch buffers whatever the size of a source buffer.
constexpr int kConversionChunk = 4096;
// libswresample's limit.
constexpr int kMaxChannels = 64;

// A channel layout filled in by FFmpeg, released when it goes.
struct ChannelLayout {
    explicit ChannelLayout(int channels) { av_channel_layout_default(&layout, channels); }
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    AVChannelLayout layout{};
};

Error audioError(const QString& description) {
    return Error::backreel(0, description);
}

} // namespace

std::optional<AVSampleFormat> sampleFormatOf(const AudioStreamBasicDescription& description) {
    if (description.formatID != codec::linearPCM || (description.formatFlags & kFormatFlagIsBigEndian) != 0) {
        return std::nullopt;
    }
    const bool planar = description.isNonInterleaved();
    if (description.isFloat()) {
        switch (description.bitsPerChannel) {
        case 32:
            return planar ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_FLT;
        case 64:
            return planar ? AV_SAMPLE_FMT_DBLP : AV_SAMPLE_FMT_DBL;
        default:
            return std::nullopt;
        }
    }
    switch (description.bitsPerChannel) {
    case 16:
        return planar ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S16;
    case 32:
        return planar ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_S32;
    default:
        return std::nullopt;
    }
}

Expected<std::unique_ptr<FfmpegAudioEncoder>>
FfmpegAudioEncoder::open(const AudioOutputSettings& settings, const AudioStreamBasicDescription& source) {
    if (settings.formatID != codec::aac) {
        return audioError(QStringLiteral("Audio output format '%1' is not supported.")
                              .arg(QString::fromStdString(settings.formatID.toString())));
    }
    if (settings.numberOfChannels < 1 || settings.numberOfChannels > 8 || !(settings.sampleRate >= 1) ||
        settings.sampleRate > std::numeric_limits<int>::max() || settings.encoderBitRate <= 0) {
        return audioError(
            QStringLiteral("Audio output settings not supported: %1 channels at %2 Hz, %3 bit/s.")
                .arg(settings.numberOfChannels)
                .arg(settings.sampleRate)
                .arg(settings.encoderBitRate));
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
    const auto channels = static_cast<int>(settings.numberOfChannels);
    const auto rate = static_cast<int>(std::lround(settings.sampleRate));
    context.sample_fmt = AV_SAMPLE_FMT_FLTP;
    context.sample_rate = rate;
    av_channel_layout_default(&context.ch_layout, channels);
    context.bit_rate = settings.encoderBitRate;
    context.time_base = AVRational{1, rate};
    // MP4 keeps the AudioSpecificConfig in the sample description, not in the stream.
    context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The encoder's fast search instead of its default "twoloop" one: it halves the encoding time,
    // which is most of a save's time (about 1 s instead of 2 s for three minutes of stereo), and at
    // these bit rates its output is as close to the source as the default's.
    av_opt_set(context.priv_data, "aac_coder", "fast", 0);
    if (const int result = avcodec_open2(&context, aac, nullptr); result < 0) {
        return ffmpegError(result);
    }
    encoder->fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, context.frame_size * 2));
    if (!encoder->fifo_) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    encoder->converted_.resize(static_cast<std::size_t>(channels));
    if (std::optional<Error> error = encoder->configureSource(source)) {
        return *error;
    }
    return encoder;
}

FfmpegAudioEncoder::~FfmpegAudioEncoder() = default;

int FfmpegAudioEncoder::copyParameters(AVCodecParameters* parameters) const {
    return avcodec_parameters_from_context(parameters, context_.get());
}

AVRational FfmpegAudioEncoder::timeBase() const {
    return context_->time_base;
}

std::optional<Error> FfmpegAudioEncoder::configureSource(const AudioStreamBasicDescription& description) {
    const std::optional<AVSampleFormat> format = sampleFormatOf(description);
    const auto rate = std::lround(description.sampleRate);
    const auto channels = static_cast<int>(description.channelsPerFrame);
    if (!format || rate < 1 || rate > std::numeric_limits<int>::max() || channels < 1 ||
        channels > kMaxChannels) {
        return audioError(
            QStringLiteral("Audio input format not supported: '%1', %2-bit %3%4, %5 channels at %6 Hz.")
                .arg(QString::fromStdString(description.formatID.toString()))
                .arg(description.bitsPerChannel)
                .arg(description.isFloat() ? QStringLiteral("float") : QStringLiteral("integer"))
                .arg(description.isNonInterleaved() ? QStringLiteral(" non-interleaved") : QString())
                .arg(description.channelsPerFrame)
                .arg(description.sampleRate));
    }
    if (resampler_) {
        // What the old converter still holds goes into the FIFO before anything in the new format.
        if (std::optional<Error> error = drainResampler()) {
            return error;
        }
    }
    ChannelLayout input(channels); // libswresample takes the layouts by non-const pointer
    SwrContext* raw = nullptr;
    const int allocated =
        swr_alloc_set_opts2(&raw, &context_->ch_layout, AV_SAMPLE_FMT_FLTP, context_->sample_rate,
                            &input.layout, *format, static_cast<int>(rate), 0, nullptr);
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
    } else if (rate != source_.rate) {
        clock_->changeRate(static_cast<double>(rate));
    }
    source_.description = description;
    source_.format = *format;
    source_.channels = channels;
    source_.rate = static_cast<int>(rate);
    source_.bytesPerSample = av_get_bytes_per_sample(*format);
    source_.planar = av_sample_fmt_is_planar(*format) != 0;
    silence_.clear();
    return std::nullopt;
}

std::optional<Error> FfmpegAudioEncoder::encode(const MediaSample& sample, MediaTime sessionStart,
                                                std::vector<AVPacketPtr>& out) {
    if (flushed_) {
        return audioError(QStringLiteral("The audio encoder has already been flushed."));
    }
    const FormatDescriptionPtr& format = sample.formatDescription();
    if (const AudioStreamBasicDescription* description =
            format ? format->streamBasicDescription() : nullptr) {
        if (!(*description == source_.description)) {
            if (std::optional<Error> error = configureSource(*description)) {
                return error;
            }
        }
    }
    const MediaTime presentationTime = sample.presentationTime();
    if (!presentationTime.isValid() || !sessionStart.isValid()) {
        return audioError(QStringLiteral("An audio sample without a time stamp cannot be placed."));
    }

    SourceAudio audio;
    if (std::optional<Error> error = sourceAudio(sample, audio)) {
        return error;
    }
    if (audio.frames == 0) {
        return std::nullopt;
    }
    const std::vector<const std::uint8_t*>& planes = audio.planes;
    const std::size_t frames = audio.frames;

    const std::int64_t start = framesBetween(sessionStart, presentationTime, source_.rate);
    const AudioPlacement placement = clock_->place(start, static_cast<std::int64_t>(frames));
    if (placement.anchor) {
        // Nothing has gone into the converter before the anchor, so the output counts from here.
        nextPts_ = av_rescale_rnd(*placement.anchor, context_->sample_rate, source_.rate, AV_ROUND_NEAR_INF);
    }
    if (std::optional<Error> error = convertSilence(placement.silence)) {
        return error;
    }
    const auto frameBytes = static_cast<std::size_t>(source_.bytesPerSample) *
                            (source_.planar ? 1 : static_cast<std::size_t>(source_.channels));
    std::int64_t done = 0;
    while (done < placement.take) {
        const auto count = static_cast<int>(std::min<std::int64_t>(placement.take - done, kConversionChunk));
        const auto offset = static_cast<std::size_t>(placement.skip + done) * frameBytes;
        std::vector<const std::uint8_t*> chunk = planes;
        for (const std::uint8_t*& plane : chunk) {
            plane += offset;
        }
        if (std::optional<Error> error = convert(chunk.data(), count)) {
            return error;
        }
        done += count;
    }
    return encodeFifo(false, out);
}

std::optional<Error> FfmpegAudioEncoder::sourceAudio(const MediaSample& sample, SourceAudio& audio) const {
    std::size_t listSize = 0;
    AudioBufferList buffers;
    if (sample.audioBufferListWithRetainedBlockBuffer(&listSize, nullptr, 0, nullptr) != 0 ||
        sample.audioBufferListWithRetainedBlockBuffer(nullptr, &buffers, listSize, &audio.block) != 0) {
        return audioError(QStringLiteral("The audio sample holds no audio."));
    }
    const auto bytesPerSample = static_cast<std::size_t>(source_.bytesPerSample);
    const auto channels = static_cast<std::size_t>(source_.channels);
    if (source_.planar && buffers.size() == channels) {
        audio.frames = std::numeric_limits<std::size_t>::max();
        for (const AudioBuffer& buffer : buffers) {
            audio.planes.push_back(reinterpret_cast<const std::uint8_t*>(buffer.data));
            audio.frames = std::min(audio.frames, buffer.dataByteSize / bytesPerSample);
        }
    } else if (source_.planar && buffers.size() == 1) {
        // One block, channel after channel.
        const std::size_t channelBytes = buffers.front().dataByteSize / channels;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            audio.planes.push_back(reinterpret_cast<const std::uint8_t*>(buffers.front().data) +
                                   channel * channelBytes);
        }
        audio.frames = channelBytes / bytesPerSample;
    } else if (!source_.planar && buffers.size() == 1) {
        audio.planes.push_back(reinterpret_cast<const std::uint8_t*>(buffers.front().data));
        audio.frames = buffers.front().dataByteSize / (bytesPerSample * channels);
    } else {
        return audioError(QStringLiteral("The audio sample's %1 buffers do not match its %2 channels.")
                              .arg(buffers.size())
                              .arg(channels));
    }
    if (audio.frames > 0 && std::any_of(audio.planes.begin(), audio.planes.end(),
                                        [](const std::uint8_t* plane) { return plane == nullptr; })) {
        return audioError(QStringLiteral("The audio sample holds no audio."));
    }
    return std::nullopt;
}

std::optional<Error> FfmpegAudioEncoder::flush(std::vector<AVPacketPtr>& out) {
    if (flushed_) {
        return std::nullopt;
    }
    flushed_ = true;
    if (std::optional<Error> error = drainResampler()) {
        return error;
    }
    if (std::optional<Error> error = encodeFifo(true, out)) {
        return error;
    }
    return sendFrame(nullptr, out);
}

std::optional<Error> FfmpegAudioEncoder::convert(const std::uint8_t* const* planes, int frames) {
    const int capacity = swr_get_out_samples(resampler_.get(), frames);
    if (capacity < 0) {
        return ffmpegError(capacity);
    }
    std::array<std::uint8_t*, 8> output{};
    for (std::size_t channel = 0; channel < converted_.size(); ++channel) {
        std::vector<float>& plane = converted_[channel];
        plane.resize(std::max(plane.size(), static_cast<std::size_t>(capacity)));
        output[channel] = reinterpret_cast<std::uint8_t*>(plane.data());
    }
    // libswresample's input parameter is not const-qualified all the way; it only reads.
    std::vector<const std::uint8_t*> input;
    if (planes != nullptr) {
        input.assign(planes, planes + (source_.planar ? source_.channels : 1));
    }
    const int converted = swr_convert(resampler_.get(), output.data(), capacity,
                                      planes != nullptr ? input.data() : nullptr, frames);
    if (converted < 0) {
        return ffmpegError(converted);
    }
    if (converted > 0 &&
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(output.data()), converted) < converted) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    return std::nullopt;
}

std::optional<Error> FfmpegAudioEncoder::convertSilence(std::int64_t frames) {
    if (frames <= 0) {
        return std::nullopt;
    }
    // Zero bytes are silence in every format the source may have (float and signed integers).
    const auto frameBytes = static_cast<std::size_t>(source_.bytesPerSample) *
                            (source_.planar ? 1 : static_cast<std::size_t>(source_.channels));
    silence_.resize(frameBytes * kConversionChunk, 0);
    const std::vector<const std::uint8_t*> planes(static_cast<std::size_t>(source_.channels),
                                                  silence_.data());
    while (frames > 0) {
        const auto count = static_cast<int>(std::min<std::int64_t>(frames, kConversionChunk));
        if (std::optional<Error> error = convert(planes.data(), count)) {
            return error;
        }
        frames -= count;
    }
    return std::nullopt;
}

std::optional<Error> FfmpegAudioEncoder::drainResampler() {
    for (;;) {
        const std::int64_t before = av_audio_fifo_size(fifo_.get());
        if (std::optional<Error> error = convert(nullptr, 0)) {
            return error;
        }
        if (av_audio_fifo_size(fifo_.get()) == before) {
            return std::nullopt;
        }
    }
}

std::optional<Error> FfmpegAudioEncoder::encodeFifo(bool final, std::vector<AVPacketPtr>& out) {
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
        if (std::optional<Error> error = sendFrame(frame, out)) {
            return error;
        }
    }
}

std::optional<Error> FfmpegAudioEncoder::sendFrame(const AVFrame* frame, std::vector<AVPacketPtr>& out) {
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
