#pragma once

// Media for the FFmpeg movie tests: packets really compressed with libx264/libx265, float tone
// chunks, writing them into a movie file the way a save does, and reading a movie back.

#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/MovieFile.h"
#include "support/ChildProcess.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <optional>
#include <QFile>
#include <QString>
#include <span>
#include <string>
#include <vector>

namespace backreel::test {

inline const MediaTime kFirstVideoPts = MediaTime::makeWithSeconds(5123.4, kTimeScale);
inline constexpr int kFramesPerSecond = 30;

struct EncodedVideo {
    VideoStreamFormatPtr format;
    std::vector<VideoPacket> packets;
};

// Pictures of a moving gradient compressed as the recorder does it (global header, so the parameter
// sets travel in the format; no B-frames; 4:4:4 for odd sizes), 30 fps from kFirstVideoPts.
// Empty when the encoder is missing.
inline EncodedVideo encodeVideo(VideoCodec codec, int width, int height, int frames, int keyInterval = 15) {
    const char* name = codec == VideoCodec::hevc ? "libx265" : "libx264";
#if defined(__SANITIZE_ADDRESS__)
    // libx265 loses a few small blocks of its own on every open; they are not this program's.
    std::optional<__lsan::ScopedDisabler> x265Leaks;
    if (codec == VideoCodec::hevc) {
        x265Leaks.emplace();
    }
#endif
    av_log_set_level(AV_LOG_ERROR); // the encoders' and the muxer's reports are of no use here
    EncodedVideo result;
    const AVCodec* encoder = avcodec_find_encoder_by_name(name);
    AVCodecContextPtr context(encoder != nullptr ? avcodec_alloc_context3(encoder) : nullptr);
    if (!context) {
        return result;
    }
    const AVPixelFormat pixels = width % 2 != 0 || height % 2 != 0 ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
    context->width = width;
    context->height = height;
    context->pix_fmt = pixels;
    context->time_base = AVRational{1, kFramesPerSecond};
    context->gop_size = keyInterval;
    context->max_b_frames = 0;
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    const std::string interval = std::to_string(keyInterval);
    av_opt_set(context->priv_data, "x265-params", ("log-level=none:keyint=" + interval).c_str(), 0);
    if (avcodec_open2(context.get(), encoder, nullptr) < 0) {
        return result;
    }
    const auto* extradata = reinterpret_cast<const std::byte*>(context->extradata);
    result.format = std::make_shared<VideoStreamFormat>(VideoStreamFormat{
        codec, width, height,
        std::vector<std::byte>(extradata, extradata + std::max(context->extradata_size, 0))});
    AVFramePtr frame(av_frame_alloc());
    AVPacketPtr packet(av_packet_alloc());
    const auto collect = [&] {
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            const MediaTime frameLength(kTimeScale / kFramesPerSecond, kTimeScale);
            const MediaTime pts = kFirstVideoPts + MediaTime(packet->pts * frameLength.value(), kTimeScale);
            result.packets.push_back(
                VideoPacket::copyOf(std::span(reinterpret_cast<const std::byte*>(packet->data),
                                              static_cast<std::size_t>(packet->size)),
                                    pts, frameLength, (packet->flags & AV_PKT_FLAG_KEY) != 0, result.format));
            av_packet_unref(packet.get());
        }
    };
    for (int index = 0; index < frames; ++index) {
        av_frame_unref(frame.get());
        frame->format = pixels;
        frame->width = width;
        frame->height = height;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return {};
        }
        for (int plane = 0; plane < 3; ++plane) {
            const bool full = plane == 0 || pixels == AV_PIX_FMT_YUV444P;
            for (int y = 0; y < (full ? height : height / 2); ++y) {
                std::uint8_t* row =
                    frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
                for (int x = 0; x < (full ? width : width / 2); ++x) {
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

// A 440 Hz tone of the given amplitude from `onset` seconds on, silence before it; with hiss, a
// low broadband noise all along (real sound, which makes the AAC encoder use its bit rate).
inline std::function<float(double)> toneFrom(double onset, double amplitude = 0.5, double hiss = 0.0) {
    return [onset, amplitude, hiss](double t) {
        double value = t < onset ? 0.0 : amplitude * std::sin(2 * std::numbers::pi * 440.0 * t);
        if (hiss > 0) {
            const auto step = static_cast<std::uint32_t>(std::llround(t * 1e6)) * 2654435761u;
            value += hiss * (static_cast<double>(step >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0);
        }
        return static_cast<float>(value);
    };
}

// Consecutive chunks from `first` covering `seconds`; signal(t) gets t in seconds from
// kFirstVideoPts, the same value on every channel.
inline std::vector<AudioChunk> toneChunks(MediaTime first, double seconds,
                                          const std::function<float(double)>& signal, int channels = 2,
                                          int rate = 48000, int framesPerChunk = 480) {
    std::vector<AudioChunk> chunks;
    const double offset = (first - kFirstVideoPts).seconds();
    const auto count = static_cast<int>(std::ceil(seconds * rate / framesPerChunk));
    for (int chunk = 0; chunk < count; ++chunk) {
        const std::int64_t firstFrame = static_cast<std::int64_t>(chunk) * framesPerChunk;
        auto samples = std::make_shared<std::vector<float>>();
        for (int frame = 0; frame < framesPerChunk; ++frame) {
            samples->insert(samples->end(), static_cast<std::size_t>(channels),
                            signal(offset + static_cast<double>(firstFrame + frame) / rate));
        }
        chunks.push_back(AudioChunk{std::move(samples), channels, rate, first + MediaTime(firstFrame, rate)});
    }
    return chunks;
}

// Writes a clip into a new movie file the way a save does: merged by time, then finished.
inline MaybeError writeMovieFile(MovieFileService& service, const QString& path, const MovieTracks& tracks,
                                 const std::vector<VideoPacket>& video,
                                 const std::vector<AudioChunk>& audio) {
    Expected<std::unique_ptr<MovieFile>> created = service.create(path, tracks);
    if (!created) {
        return created.error();
    }
    MovieFile& file = *created.value();
    std::size_t v = 0;
    std::size_t a = 0;
    while (v < video.size() || a < audio.size()) {
        const bool audioNext =
            a < audio.size() && (v == video.size() || audio[a].presentationTime < video[v].presentationTime);
        if (MaybeError error = audioNext ? file.writeAudio(audio[a++]) : file.writeVideo(video[v++])) {
            return error;
        }
    }
    return file.finish();
}

struct StreamContents {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    std::uint32_t codecTag = 0;
    AVRational timeBase{0, 1};
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t bitRate = 0;
    std::vector<std::int64_t> pts;
    std::vector<bool> keys;
    std::vector<std::vector<std::byte>> data;
};

inline AVInputContextPtr openMovie(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    AVInputContextPtr context(raw);
    return avformat_find_stream_info(context.get(), nullptr) < 0 ? nullptr : std::move(context);
}

// Every stream of the movie with all its packets, as libavformat reads them; empty if it cannot.
inline std::vector<StreamContents> readMovie(const QString& path) {
    AVInputContextPtr context = openMovie(path);
    if (!context) {
        return {};
    }
    std::vector<StreamContents> streams(context->nb_streams);
    for (unsigned index = 0; index < context->nb_streams; ++index) {
        const AVCodecParameters& parameters = *context->streams[index]->codecpar;
        streams[index] = StreamContents{parameters.codec_type,
                                        parameters.codec_tag,
                                        context->streams[index]->time_base,
                                        parameters.width,
                                        parameters.height,
                                        parameters.sample_rate,
                                        parameters.ch_layout.nb_channels,
                                        parameters.bit_rate,
                                        {},
                                        {},
                                        {}};
    }
    AVPacketPtr packet(av_packet_alloc());
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        StreamContents& stream = streams[static_cast<std::size_t>(packet->stream_index)];
        stream.pts.push_back(packet->pts);
        stream.keys.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
        const auto* bytes = reinterpret_cast<const std::byte*>(packet->data);
        stream.data.emplace_back(bytes, bytes + packet->size);
        av_packet_unref(packet.get());
    }
    return streams;
}

// The first channel of the movie's audio, decoded as players do (priming cut by the edit list),
// with the time of its first sample.
struct DecodedAudio {
    double startSeconds = 0;
    int sampleRate = 0;
    std::vector<float> samples;

    double seconds() const { return static_cast<double>(samples.size()) / sampleRate; }
    // Seconds of the first sample whose magnitude reaches threshold; NaN if none does.
    double firstAbove(float threshold) const {
        for (std::size_t index = 0; index < samples.size(); ++index) {
            if (std::fabs(samples[index]) >= threshold) {
                return startSeconds + static_cast<double>(index) / sampleRate;
            }
        }
        return std::nan("");
    }
    // Upward swings from below -0.2 to above +0.2 per second between from and to: the tone's pitch.
    double frequencyBetween(double from, double to) const {
        int crossings = 0;
        bool low = false;
        for (auto index = static_cast<std::size_t>((from - startSeconds) * sampleRate);
             index < static_cast<std::size_t>((to - startSeconds) * sampleRate) && index < samples.size();
             ++index) {
            low = low || samples[index] < -0.2f;
            if (low && samples[index] > 0.2f) {
                low = false;
                ++crossings;
            }
        }
        return crossings / (to - from);
    }
};

inline std::optional<DecodedAudio> decodeAudio(const QString& path) {
    AVInputContextPtr context = openMovie(path);
    const int index =
        context ? av_find_best_stream(context.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    if (index < 0) {
        return std::nullopt;
    }
    const AVStream& stream = *context->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    AVCodecContextPtr codec(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(codec.get(), stream.codecpar);
    codec->pkt_timebase = stream.time_base;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return std::nullopt;
    }
    DecodedAudio audio;
    audio.sampleRate = codec->sample_rate;
    AVPacketPtr packet(av_packet_alloc());
    AVFramePtr frame(av_frame_alloc());
    const auto receive = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            if (audio.samples.empty()) {
                audio.startSeconds =
                    static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream.time_base);
            }
            const auto* channel = reinterpret_cast<const float*>(frame->extended_data[0]);
            audio.samples.insert(audio.samples.end(), channel, channel + frame->nb_samples);
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(codec.get(), packet.get());
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(codec.get(), nullptr);
    receive();
    return audio;
}

// What the ffmpeg tool prints when it decodes the whole file: nothing for a valid movie.
inline std::string decodeErrors(const QString& path) {
    std::string output;
    const bool ok = runProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", QFile::encodeName(path).toStdString(), "-f", "null", "-"},
        &output, std::chrono::seconds(60));
    return ok ? output : "ffmpeg failed: " + output;
}

} // namespace backreel::test
