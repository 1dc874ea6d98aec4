#pragma once

// Reading a written movie back for the FFmpeg writer and probe tests: its packets and decoded
// audio through libavformat, its NAL units, and what the ffprobe and ffmpeg tools make of it.

#include "platform/ffmpeg/FfmpegPtr.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <span>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace backreel::test {

struct PacketInfo {
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t duration = 0;
    bool key = false;
    std::vector<std::byte> data;
};

struct StreamContents {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codec = AV_CODEC_ID_NONE;
    std::uint32_t codecTag = 0;
    AVRational timeBase{0, 1};
    std::int64_t startTime = 0;
    std::int64_t duration = 0;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t bitRate = 0;
    std::vector<std::byte> extradata;
    std::vector<PacketInfo> packets;

    double seconds(std::int64_t ticks) const { return static_cast<double>(ticks) * av_q2d(timeBase); }
};

// The movie opened for reading with its streams' parameters found; null when either fails.
inline AVInputContextPtr openMovie(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    AVInputContextPtr context(raw);
    return avformat_find_stream_info(context.get(), nullptr) < 0 ? nullptr : std::move(context);
}

// Every stream of the movie with all its packets, as libavformat reads them.
inline std::optional<std::vector<StreamContents>> readMovie(const std::string& path) {
    // Probing decodes a few frames; made-up payloads make the decoder complain at length.
    const int logLevel = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    struct RestoreLevel {
        int level;
        ~RestoreLevel() { av_log_set_level(level); }
    } restore{logLevel};
    AVInputContextPtr context = openMovie(path);
    if (!context) {
        return std::nullopt;
    }
    std::vector<StreamContents> streams(context->nb_streams);
    for (unsigned index = 0; index < context->nb_streams; ++index) {
        const AVStream& stream = *context->streams[index];
        StreamContents& contents = streams[index];
        contents.type = stream.codecpar->codec_type;
        contents.codec = stream.codecpar->codec_id;
        contents.codecTag = stream.codecpar->codec_tag;
        contents.timeBase = stream.time_base;
        contents.startTime = stream.start_time;
        contents.duration = stream.duration;
        contents.width = stream.codecpar->width;
        contents.height = stream.codecpar->height;
        contents.sampleRate = stream.codecpar->sample_rate;
        contents.channels = stream.codecpar->ch_layout.nb_channels;
        contents.bitRate = stream.codecpar->bit_rate;
        const auto* extradata = reinterpret_cast<const std::byte*>(stream.codecpar->extradata);
        contents.extradata.assign(extradata, extradata + std::max(stream.codecpar->extradata_size, 0));
    }
    AVPacketPtr packet(av_packet_alloc());
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        PacketInfo info;
        info.pts = packet->pts;
        info.dts = packet->dts;
        info.duration = packet->duration;
        info.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        const auto* data = reinterpret_cast<const std::byte*>(packet->data);
        info.data.assign(data, data + packet->size);
        streams[static_cast<std::size_t>(packet->stream_index)].packets.push_back(std::move(info));
        av_packet_unref(packet.get());
    }
    return streams;
}

inline const StreamContents* streamOfType(const std::vector<StreamContents>& streams, AVMediaType type) {
    for (const StreamContents& stream : streams) {
        if (stream.type == type) {
            return &stream;
        }
    }
    return nullptr;
}

// The first channel of the movie's first audio stream, decoded, with the time of its first sample
// in seconds (encoder delay already removed by the demuxer and decoder, as players do).
struct DecodedAudio {
    double startSeconds = 0;
    int sampleRate = 0;
    std::vector<float> samples;

    // Seconds of the first sample whose magnitude reaches threshold; NaN if none does.
    double firstAbove(float threshold) const {
        for (std::size_t index = 0; index < samples.size(); ++index) {
            if (std::fabs(samples[index]) >= threshold) {
                return startSeconds + static_cast<double>(index) / sampleRate;
            }
        }
        return std::nan("");
    }
};

inline std::optional<DecodedAudio> decodeAudio(const std::string& path) {
    AVInputContextPtr context = openMovie(path);
    if (!context) {
        return std::nullopt;
    }
    const int index = av_find_best_stream(context.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
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
    bool first = true;
    AVPacketPtr packet(av_packet_alloc());
    AVFramePtr frame(av_frame_alloc());
    const auto receive = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            if (first) {
                first = false;
                const std::int64_t pts = frame->best_effort_timestamp;
                audio.startSeconds =
                    pts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(pts) * av_q2d(stream.time_base);
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

// The NAL units of an Annex B stream (start codes removed) or of a length-prefixed one (4-byte
// big-endian lengths, as MP4 keeps them).
inline std::vector<std::vector<std::byte>> annexBUnits(std::span<const std::byte> data) {
    std::vector<std::vector<std::byte>> units;
    const auto startCodeAt = [&](std::size_t at) {
        return at + 3 <= data.size() && data[at] == std::byte{0} && data[at + 1] == std::byte{0} &&
               data[at + 2] == std::byte{1};
    };
    std::optional<std::size_t> begin;
    for (std::size_t at = 0; at < data.size();) {
        if (startCodeAt(at)) {
            if (begin) {
                std::size_t end = at;
                if (end > *begin && data[end - 1] == std::byte{0}) {
                    --end; // the first zero of a four-byte start code
                }
                units.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(*begin),
                                   data.begin() + static_cast<std::ptrdiff_t>(end));
            }
            at += 3;
            begin = at;
        } else {
            ++at;
        }
    }
    if (begin) {
        units.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(*begin), data.end());
    }
    return units;
}

inline std::vector<std::vector<std::byte>> lengthPrefixedUnits(std::span<const std::byte> data) {
    std::vector<std::vector<std::byte>> units;
    std::size_t at = 0;
    while (at + 4 <= data.size()) {
        std::size_t length = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            length = length << 8 | std::to_integer<std::size_t>(data[at + i]);
        }
        at += 4;
        if (length > data.size() - at) {
            units.push_back({}); // a broken length shows as an empty unit
            return units;
        }
        units.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                           data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return units;
}

struct ToolOutput {
    int exitCode = -1;
    QString standardOutput;
    QString standardError;
};

// Runs a tool and collects what it printed. posix_spawn rather than QProcess: ThreadSanitizer
// loses track of this process's locks after Qt (not instrumented) has forked a child.
inline ToolOutput runTool(const QString& program, const QStringList& arguments) {
    ToolOutput output;
    QTemporaryDir dir;
    const QByteArray outPath = QFile::encodeName(dir.filePath(QStringLiteral("stdout")));
    const QByteArray errPath = QFile::encodeName(dir.filePath(QStringLiteral("stderr")));
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& argument : arguments) {
        words.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        output.standardError =
            QStringLiteral("cannot run %1: %2").arg(program, QString::fromLocal8Bit(std::strerror(spawned)));
        return output;
    }
    int status = 0;
    waitpid(child, &status, 0);
    output.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile out(QFile::decodeName(outPath));
    QFile err(QFile::decodeName(errPath));
    if (out.open(QIODevice::ReadOnly)) {
        output.standardOutput = QString::fromUtf8(out.readAll());
    }
    if (err.open(QIODevice::ReadOnly)) {
        output.standardError = QString::fromUtf8(err.readAll());
    }
    return output;
}

// ffprobe's description of the file's streams and format.
inline QJsonObject ffprobe(const QString& path) {
    const ToolOutput output =
        runTool(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_streams"),
                 QStringLiteral("-show_format"), QStringLiteral("-of"), QStringLiteral("json"), path});
    return QJsonDocument::fromJson(output.standardOutput.toUtf8()).object();
}

// What ffmpeg prints when it decodes the whole file: nothing for a valid movie.
inline QString decodeErrors(const QString& path) {
    const ToolOutput output = runTool(QStringLiteral("ffmpeg"),
                                      {QStringLiteral("-nostdin"), QStringLiteral("-v"),
                                       QStringLiteral("error"), QStringLiteral("-i"), path,
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    return output.exitCode == 0
               ? output.standardError.trimmed()
               : QStringLiteral("exit %1: %2").arg(output.exitCode).arg(output.standardError);
}

} // namespace backreel::test
