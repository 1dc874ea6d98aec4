#pragma once

// Media for the FFmpeg movie tests, and what the ffmpeg tools (not our code) read back from a movie.

#include "platform/ffmpeg/FfmpegAudioCodec.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/MovieFile.h"
#include "support/ChildProcess.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <span>

namespace backreel::test {

inline const MediaTime kFirstVideoPts = MediaTime::makeWithSeconds(5123.4, kTimeScale);

struct EncodedVideo {
    VideoStreamFormatPtr format;
    std::vector<VideoPacket> packets;
};

// Moving pictures compressed as the recorder does it (global header, so that the parameter sets
// travel in the format; no B-frames; 4:4:4 at odd sizes), 30 a second from kFirstVideoPts, a key
// frame every 15. Empty when FFmpeg lacks the encoder.
inline EncodedVideo encodeVideo(VideoCodec codec, int width, int height, int frames) {
#if defined(__SANITIZE_ADDRESS__)
    // libx265 loses a few small blocks of its own on every open; they are not this program's.
    std::optional<__lsan::ScopedDisabler> x265Leaks;
    if (codec == VideoCodec::hevc) {
        x265Leaks.emplace();
    }
#endif
    av_log_set_level(AV_LOG_ERROR); // the encoders' and the muxer's reports are of no use here
    const AVCodec* encoder = avcodec_find_encoder_by_name(codec == VideoCodec::hevc ? "libx265" : "libx264");
    AVCodecContextPtr context(encoder != nullptr ? avcodec_alloc_context3(encoder) : nullptr);
    if (!context) {
        return {};
    }
    const bool full = width % 2 != 0 || height % 2 != 0;
    context->width = width;
    context->height = height;
    context->pix_fmt = full ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, 30};
    context->gop_size = 15;
    context->max_b_frames = 0;
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "x265-params", "log-level=none:keyint=15", 0);
    if (avcodec_open2(context.get(), encoder, nullptr) < 0) {
        return {};
    }
    const auto* extradata = reinterpret_cast<const std::byte*>(context->extradata);
    EncodedVideo result{std::make_shared<VideoStreamFormat>(VideoStreamFormat{
                            codec, width, height, {extradata, extradata + context->extradata_size}}),
                        {}};
    AVFramePtr frame(av_frame_alloc());
    AVPacketPtr packet(av_packet_alloc());
    for (int index = 0; index <= frames; ++index) {
        if (index < frames) {
            av_frame_unref(frame.get());
            frame->format = context->pix_fmt;
            frame->width = width;
            frame->height = height;
            frame->pts = index;
            if (av_frame_get_buffer(frame.get(), 0) < 0) {
                return {};
            }
            for (int plane = 0; plane < 3; ++plane) { // a gradient that moves down
                const int shift = plane > 0 && !full ? 1 : 0;
                for (int y = 0; y < height >> shift; ++y) {
                    std::memset(frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane],
                                (y * 2 + index * 7 + plane * 60) & 0xFF,
                                static_cast<std::size_t>(width >> shift));
                }
            }
        }
        avcodec_send_frame(context.get(), index < frames ? frame.get() : nullptr); // then drains
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            result.packets.push_back(
                VideoPacket::copyOf(std::span(reinterpret_cast<const std::byte*>(packet->data),
                                              static_cast<std::size_t>(packet->size)),
                                    kFirstVideoPts + MediaTime(packet->pts * kTimeScale / 30, kTimeScale),
                                    MediaTime(kTimeScale / 30, kTimeScale),
                                    (packet->flags & AV_PKT_FLAG_KEY) != 0, result.format));
            av_packet_unref(packet.get());
        }
    }
    return result;
}

// Consecutive chunks from `first` covering `seconds`: silence, then from `onset` seconds after
// kFirstVideoPts a 440 Hz tone of 0.5 peak, over a low hiss all along (real sound, which makes the
// AAC encoder use its bit rate). The same on every channel.
inline std::vector<AudioChunk> toneChunks(MediaTime first, double seconds, double onset, int channels = 2,
                                          int rate = 48000, int framesPerChunk = 480) {
    std::vector<AudioChunk> chunks;
    const double offset = (first - kFirstVideoPts).seconds();
    for (std::int64_t start = 0; start < static_cast<std::int64_t>(seconds * rate); start += framesPerChunk) {
        auto samples = std::make_shared<std::vector<float>>();
        for (std::int64_t frame = start; frame < start + framesPerChunk; ++frame) {
            const double t = offset + static_cast<double>(frame) / rate;
            const auto noise = static_cast<std::uint32_t>(std::llround(t * 1e6)) * 2654435761u;
            const double hiss = 0.05 * (static_cast<double>(noise >> 8) / (1u << 24) * 2.0 - 1.0);
            const double tone = t < onset ? 0.0 : 0.5 * std::sin(2 * std::numbers::pi * 440.0 * t);
            samples->insert(samples->end(), static_cast<std::size_t>(channels),
                            static_cast<float>(tone + hiss));
        }
        chunks.push_back(AudioChunk{std::move(samples), channels, rate, first + MediaTime(start, rate)});
    }
    return chunks;
}

// The chunks compressed as the recording does it, a stream per origin (96 kbit/s for mono, 192
// otherwise), and of those packets the ones a clip from `start` keeps, in time order.
inline std::vector<AudioPacket> aacPackets(const std::vector<AudioChunk>& chunks, MediaTime start) {
    std::vector<AudioPacket> packets;
    for (const AudioOrigin origin : {AudioOrigin::system, AudioOrigin::microphone}) {
        std::unique_ptr<AudioEncoder> encoder;
        for (const AudioChunk& chunk : chunks) {
            if (chunk.origin != origin) {
                continue;
            }
            if (!encoder) {
                const AudioStreamFormat format{chunk.channels, 48000, chunk.channels < 2 ? 96000 : 192000};
                encoder = FfmpegAudioCodecService().encoder(format, origin).value();
            }
            EXPECT_FALSE(encoder->encode(
                {chunk.view(), chunk.channels, chunk.sampleRate, chunk.presentationTime}, packets));
        }
        if (encoder) {
            EXPECT_FALSE(encoder->flush(packets));
        }
    }
    std::erase_if(packets, [&](const AudioPacket& packet) { return !reachesInto(packet, start); });
    std::ranges::stable_sort(packets, {}, &AudioPacket::presentationTime);
    return packets;
}

// The track for a sound's packets.
inline AudioTrackSettings trackOf(const AudioPacket& packet, QString title = {}) {
    return {*packet.format, packet.origin, std::move(title)};
}

// Writes a clip into a new movie file the way a save does: merged by time, then finished.
inline MaybeError writeMovieFile(MovieFileService& service, const QString& path, const MovieTracks& tracks,
                                 const std::vector<VideoPacket>& video,
                                 const std::vector<AudioPacket>& audio) {
    Expected<std::unique_ptr<MovieFile>> created = service.create(path, tracks);
    if (!created) {
        return created.error();
    }
    for (std::size_t v = 0, a = 0; v < video.size() || a < audio.size();) {
        const bool audioNext =
            a < audio.size() && (v == video.size() || audio[a].presentationTime < video[v].presentationTime);
        if (MaybeError error = audioNext ? created.value()->writeAudio(audio[a++])
                                         : created.value()->writeVideo(video[v++])) {
            return error;
        }
    }
    return created.value()->finish();
}

// A number in ffprobe's output, which gives some as strings.
inline double number(const QJsonValue& value) {
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

// The movie's streams and packets as ffprobe reads them ({"streams": [...], "packets": [...]}).
inline QJsonObject probeMovie(const QString& path) {
    std::string output;
    runProgram({"ffprobe", "-v", "error", "-of", "json", "-show_entries",
                "stream=codec_type,codec_tag_string,width,height,sample_rate,channels,bit_rate,start_time:"
                "packet=stream_index,pts_time,flags",
                QFile::encodeName(path).toStdString()},
               &output, std::chrono::seconds(60));
    return QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
}

// The first channel of one of the movie's audio tracks, decoded by the ffmpeg tool as players do
// (the encoder's priming cut by the edit list).
inline std::vector<float> decodeAudio(const QString& path, int track = 0) {
    std::string bytes;
    runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", QFile::encodeName(path).toStdString(), "-map",
                "0:a:" + std::to_string(track), "-af", "pan=mono|c0=c0", "-f", "f32le", "-"},
               &bytes, std::chrono::seconds(60));
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

// What the ffmpeg tool prints when it decodes the whole file: nothing for a valid movie. The frames
// keep the file's own time base: the tool's default (one tick per frame at the frame rate it
// guesses) makes pictures of a variable-rate movie collide where a still screen slowed it down.
inline std::string decodeErrors(const QString& path) {
    std::string output;
    const bool ok =
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", QFile::encodeName(path).toStdString(),
                    "-enc_time_base", "-1", "-f", "null", "-"},
                   &output, std::chrono::seconds(60));
    return ok ? output : "ffmpeg failed: " + output;
}

} // namespace backreel::test
