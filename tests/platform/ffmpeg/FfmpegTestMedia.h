#pragma once

// Media for the FFmpeg writer and probe tests: frames really compressed with libx264/libx265 and
// PCM buffers in each layout the writer takes.

#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/media/MediaSample.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace backreel::test {

inline constexpr int kFramesPerSecond = 30;
inline constexpr std::int64_t kFrameTicks = kTimeScale / kFramesPerSecond;

struct EncodedVideo {
    FormatDescriptionPtr format;
    std::vector<MediaSamplePtr> samples;
};

// Pictures with a moving gradient, compressed as the recorder does it (global header, so the
// parameter sets travel in the format description; no B-frames), stamped at 30 fps from firstPts.
// Empty when the encoder is missing.
inline EncodedVideo encodeVideo(const char* encoderName, FourCC codecType, int width, int height, int frames,
                                MediaTime firstPts, int keyInterval) {
    EncodedVideo result;
#if defined(__SANITIZE_ADDRESS__)
    // libx265 loses a few small blocks of its own on every open; they are not this program's.
    std::optional<__lsan::ScopedDisabler> x265Leaks;
    if (std::strcmp(encoderName, "libx265") == 0) {
        x265Leaks.emplace();
    }
#endif
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
    if (encoder == nullptr) {
        return result;
    }
    AVCodecContextPtr context(avcodec_alloc_context3(encoder));
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, kFramesPerSecond};
    context->framerate = AVRational{kFramesPerSecond, 1};
    context->gop_size = keyInterval;
    context->max_b_frames = 0;
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    if (std::strcmp(encoderName, "libx265") == 0) {
        const std::string interval = std::to_string(keyInterval);
        const std::string parameters = "log-level=none:keyint=" + interval + ":min-keyint=" + interval;
        av_opt_set(context->priv_data, "x265-params", parameters.c_str(), 0);
    }
    if (avcodec_open2(context.get(), encoder, nullptr) < 0) {
        return result;
    }
    const auto* extradata = reinterpret_cast<const std::byte*>(context->extradata);
    result.format = FormatDescription::video(
        codecType, {width, height},
        std::vector<std::byte>(extradata, extradata + std::max(context->extradata_size, 0)));

    AVFramePtr frame(av_frame_alloc());
    AVPacketPtr packet(av_packet_alloc());
    const auto collect = [&] {
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            MediaSample::Parts parts;
            parts.formatDescription = result.format;
            parts.dataBuffer = BlockBuffer::copyOf(std::span(reinterpret_cast<const std::byte*>(packet->data),
                                                             static_cast<std::size_t>(packet->size)));
            const MediaTime pts = firstPts + MediaTime(packet->pts * kFrameTicks, kTimeScale);
            parts.timing = {SampleTimingInfo{MediaTime(kFrameTicks, kTimeScale), pts, pts}};
            parts.sizes = {static_cast<std::size_t>(packet->size)};
            parts.attachments = notSyncAttachments((packet->flags & AV_PKT_FLAG_KEY) == 0);
            result.samples.push_back(MediaSample::make(std::move(parts)));
            av_packet_unref(packet.get());
        }
    };
    for (int index = 0; index < frames; ++index) {
        av_frame_unref(frame.get());
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = width;
        frame->height = height;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return {};
        }
        for (int plane = 0; plane < 3; ++plane) {
            const int planeWidth = plane == 0 ? width : width / 2;
            const int planeHeight = plane == 0 ? height : height / 2;
            for (int y = 0; y < planeHeight; ++y) {
                std::uint8_t* row =
                    frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
                for (int x = 0; x < planeWidth; ++x) {
                    row[x] = static_cast<std::uint8_t>((x * (plane + 1) + y * 2 + index * 7) & 0xFF);
                }
            }
        }
        frame->pts = index;
        if (avcodec_send_frame(context.get(), frame.get()) < 0) {
            return {};
        }
        collect();
    }
    avcodec_send_frame(context.get(), nullptr);
    collect();
    return result;
}

enum class PcmLayout { interleaved, nonInterleaved, bufferList };

// For test names and messages.
inline void PrintTo(PcmLayout layout, std::ostream* out) {
    *out << (layout == PcmLayout::interleaved      ? "interleaved"
             : layout == PcmLayout::nonInterleaved ? "non-interleaved"
                                                   : "buffer list");
}
enum class PcmFormat { float32, int16 };

struct PcmOptions {
    int sampleRate = 48000;
    int channels = 2;
    PcmLayout layout = PcmLayout::interleaved;
    PcmFormat format = PcmFormat::float32;
    int framesPerBuffer = 480; // 10 ms at 48 kHz
};

inline AudioStreamBasicDescription pcmDescription(const PcmOptions& options) {
    AudioStreamBasicDescription description;
    description.sampleRate = options.sampleRate;
    description.formatID = codec::linearPCM;
    const bool planar = options.layout != PcmLayout::interleaved;
    description.formatFlags =
        (options.format == PcmFormat::float32 ? AudioStreamBasicDescription::kFormatFlagIsFloat : 0u) |
        (planar ? AudioStreamBasicDescription::kFormatFlagIsNonInterleaved : 0u);
    description.bitsPerChannel = options.format == PcmFormat::float32 ? 32 : 16;
    const std::uint32_t bytes = description.bitsPerChannel / 8;
    description.channelsPerFrame = static_cast<std::uint32_t>(options.channels);
    description.bytesPerFrame = planar ? bytes : bytes * description.channelsPerFrame;
    description.bytesPerPacket = description.bytesPerFrame;
    description.framesPerPacket = 1;
    return description;
}

// One buffer of PCM starting at pts; signal(i) gives frame i's value (every channel the same).
inline MediaSamplePtr pcmSample(MediaTime pts, const PcmOptions& options,
                                const std::function<float(int)>& signal) {
    const auto frames = static_cast<std::size_t>(options.framesPerBuffer);
    const auto channels = static_cast<std::size_t>(options.channels);
    const std::size_t bytesPerSample = options.format == PcmFormat::float32 ? 4 : 2;
    std::vector<std::byte> bytes(frames * channels * bytesPerSample);
    const bool planar = options.layout != PcmLayout::interleaved;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const float value = signal(static_cast<int>(frame));
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const std::size_t index = planar ? channel * frames + frame : frame * channels + channel;
            if (options.format == PcmFormat::float32) {
                std::memcpy(bytes.data() + index * 4, &value, 4);
            } else {
                const auto integer = static_cast<std::int16_t>(std::lround(value * 32767.0f));
                std::memcpy(bytes.data() + index * 2, &integer, 2);
            }
        }
    }
    MediaSample::Parts parts;
    parts.formatDescription = FormatDescription::audio(pcmDescription(options));
    parts.numSamples = options.framesPerBuffer;
    parts.timing = {SampleTimingInfo{MediaTime(1, options.sampleRate), pts, MediaTime::invalid()}};
    parts.sizes = {bytesPerSample};
    BlockBufferPtr block = BlockBuffer::fromBytes(std::move(bytes));
    if (options.layout == PcmLayout::bufferList) {
        const std::byte* base = nullptr;
        block->dataPointer(0, nullptr, nullptr, &base);
        const std::size_t channelBytes = frames * bytesPerSample;
        AudioBufferList list;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            list.push_back(AudioBuffer{1, base + channel * channelBytes, channelBytes});
        }
        parts.audioBufferList = std::move(list);
        parts.listBlock = std::move(block);
    } else {
        parts.dataBuffer = std::move(block);
    }
    return MediaSample::make(std::move(parts));
}

// Consecutive buffers from firstPts covering `seconds`; signal(t) gets t in seconds from
// signalOrigin (which may differ from firstPts).
inline std::vector<MediaSamplePtr> pcmSamples(MediaTime firstPts, double seconds, const PcmOptions& options,
                                              MediaTime signalOrigin,
                                              const std::function<float(double)>& signal) {
    std::vector<MediaSamplePtr> samples;
    const double offset = (firstPts - signalOrigin).seconds();
    const auto buffers = static_cast<int>(std::ceil(seconds * options.sampleRate / options.framesPerBuffer));
    for (int buffer = 0; buffer < buffers; ++buffer) {
        const std::int64_t firstFrame = static_cast<std::int64_t>(buffer) * options.framesPerBuffer;
        const MediaTime pts = firstPts + MediaTime(firstFrame, options.sampleRate);
        samples.push_back(pcmSample(pts, options, [&](int frame) {
            return signal(offset + static_cast<double>(firstFrame + frame) / options.sampleRate);
        }));
    }
    return samples;
}

// A 440 Hz tone of the given amplitude from `onset` seconds on, silence before it; with hiss, a
// low broadband noise all along (real sound, which makes the AAC encoder use its bit rate).
inline std::function<float(double)> toneFrom(double onset, double amplitude = 0.5, double hiss = 0.0) {
    return [onset, amplitude, hiss](double t) {
        double value = t < onset ? 0.0 : amplitude * std::sin(2 * std::numbers::pi * 440.0 * t);
        if (hiss > 0) {
            // A hash of the time in microseconds: the same noise whatever the buffer layout.
            const auto step = static_cast<std::uint32_t>(std::llround(t * 1e6)) * 2654435761u;
            value += hiss * (static_cast<double>(step >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0);
        }
        return static_cast<float>(value);
    };
}

} // namespace backreel::test
