#include "platform/ffmpeg/FfmpegMovieFile.h"

#include "platform/ffmpeg/AudioTrackClock.h"
#include "platform/ffmpeg/FfmpegAudioEncoder.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegPtr.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <QFile>
#include <span>
#include <vector>

namespace backreel {

namespace {

// One movie being written (see FfmpegMovieFileService). One thread at a time.
class FfmpegMovieFile final : public MovieFile {
public:
    static constexpr AVRational kVideoTimeBase{1, 90000};

    // Makes the file and writes its header.
    static Expected<std::unique_ptr<MovieFile>> create(const QString& path, const MovieTracks& tracks);
    ~FfmpegMovieFile() override;

    FfmpegMovieFile(const FfmpegMovieFile&) = delete;
    FfmpegMovieFile& operator=(const FfmpegMovieFile&) = delete;

    MaybeError writeVideo(const VideoPacket& packet) override;
    MaybeError writeAudio(const AudioPacket& packet) override;
    MaybeError finish() override;

private:
    // An audio track: the stream, the origin of the sound it takes, and where its last packet was.
    struct AudioTrack {
        AVStream* stream = nullptr;
        AudioOrigin origin = AudioOrigin::system;
        std::int32_t sampleRate = 48000;
        std::optional<std::int64_t> lastTicks;
    };
    AudioTrack* audioTrack(AudioOrigin origin);

    FfmpegMovieFile() = default;

    MaybeError addVideoStream(const VideoStreamFormat& format);
    MaybeError addAudioStream(const AudioTrackSettings& settings);
    // Chapters go with the header; the context frees them.
    MaybeError addChapters(const std::vector<MovieChapter>& chapters);
    // The packet in the muxer's hands, or why it is not; every failure stays the file's failure.
    MaybeError write(AVPacketPtr packet, AVStream& stream, AVRational timeBase);
    MaybeError fail(Error error);
    // The error a call gets once the file failed or was finished.
    MaybeError refusal() const;

    AVOutputContextPtr context_;
    AVStream* video_ = nullptr;
    std::vector<AudioTrack> audio_;
    MediaTime start_;
    std::optional<std::int64_t> lastVideoTicks_;
    std::optional<Error> failure_;
    bool finished_ = false;
};

// Ticks of the video time base (1/90000 s) nearest to time.
std::int64_t toVideoTicks(MediaTime time) {
    return av_rescale_rnd(time.value(), FfmpegMovieFile::kVideoTimeBase.den,
                          static_cast<std::int64_t>(time.timeScale()) * FfmpegMovieFile::kVideoTimeBase.num,
                          AV_ROUND_NEAR_INF);
}

Error creationError(int code, const QString& path) {
    Error error = ffmpegError(code);
    error.description = QStringLiteral("%1 (%2)").arg(error.description, path);
    return error;
}

Error refusedPacket(const QString& description) {
    return Error(description);
}

// The muxer's buffer of a packet ends by dropping the reference to the bytes' owner it holds.
void releaseOwner(void* owner, std::uint8_t*) {
    delete static_cast<std::shared_ptr<const void>*>(owner);
}

// A packet whose buffer is the caller's own bytes, kept alive by a reference to their owner for as
// long as the muxer holds the packet.
Expected<AVPacketPtr> sharedPacket(std::shared_ptr<const void> owner, std::span<const std::byte> data,
                                   const char* kind) {
    if (data.empty()) {
        return refusedPacket(
            QStringLiteral("A %1 packet without data cannot be written.").arg(QLatin1String(kind)));
    }
    if (data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return refusedPacket(QStringLiteral("A %1 packet of %2 bytes is too large.")
                                 .arg(QLatin1String(kind))
                                 .arg(data.size()));
    }
    AVPacketPtr packet(av_packet_alloc());
    if (!packet) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    auto* heldOwner = new std::shared_ptr<const void>(std::move(owner));
    // FFmpeg's buffer type is not const; the read-only flag keeps anyone from writing into it.
    auto* bytes = const_cast<std::uint8_t*>(reinterpret_cast<const std::uint8_t*>(data.data()));
    packet->buf = av_buffer_create(bytes, data.size(), releaseOwner, heldOwner, AV_BUFFER_FLAG_READONLY);
    if (packet->buf == nullptr) {
        delete heldOwner;
        return ffmpegError(AVERROR(ENOMEM));
    }
    packet->data = bytes;
    packet->size = static_cast<int>(data.size());
    return packet;
}

// The codec's set-up as the stream's extradata (freed with the stream); none is fine.
MaybeError setExtradata(AVCodecParameters& parameters, const std::vector<std::byte>& configuration) {
    if (const int result = copyExtradata(configuration, &parameters.extradata, &parameters.extradata_size);
        result < 0) {
        return ffmpegError(result);
    }
    return std::nullopt;
}

Expected<std::unique_ptr<MovieFile>> FfmpegMovieFile::create(const QString& path, const MovieTracks& tracks) {
    if (!tracks.video || !tracks.startTime.isValid()) {
        return Error(QStringLiteral("A movie needs a video track and a start time."));
    }
    std::unique_ptr<FfmpegMovieFile> file(new FfmpegMovieFile());
    file->start_ = tracks.startTime;
    // The "file:" prefix keeps a colon in the name from being read as a protocol.
    const QByteArray url = "file:" + QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    const int allocated = avformat_alloc_output_context2(&raw, nullptr, "mp4", url.constData());
    file->context_.reset(raw);
    if (allocated < 0) {
        return creationError(allocated, path);
    }
    if (MaybeError error = file->addVideoStream(*tracks.video)) {
        return *error;
    }
    for (const AudioTrackSettings& audio : tracks.audio) {
        if (MaybeError error = file->addAudioStream(audio)) {
            return *error;
        }
    }
    if (MaybeError error = file->addChapters(tracks.chapters)) {
        return *error;
    }
    if (const int opened = avio_open(&file->context_->pb, url.constData(), AVIO_FLAG_WRITE); opened < 0) {
        return creationError(opened, path);
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int written = avformat_write_header(file->context_.get(), &options);
    const AVDictionaryPtr unused(options); // the muxer takes what it knows and leaves the rest
    if (written < 0) {
        return ffmpegError(written);
    }
    return std::unique_ptr<MovieFile>(std::move(file));
}

FfmpegMovieFile::~FfmpegMovieFile() = default;

MaybeError FfmpegMovieFile::addVideoStream(const VideoStreamFormat& format) {
    if (format.width <= 0 || format.height <= 0) {
        return Error(QStringLiteral("The video format has no picture size."));
    }
    video_ = avformat_new_stream(context_.get(), nullptr);
    if (video_ == nullptr) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    video_->time_base = kVideoTimeBase;
    AVCodecParameters& parameters = *video_->codecpar;
    parameters.codec_type = AVMEDIA_TYPE_VIDEO;
    parameters.codec_id = format.codec == VideoCodec::hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    if (format.codec == VideoCodec::hevc) {
        // FFmpeg's own default is "hev1"; "hvc1" (parameter sets only in the sample description)
        // is what players such as QuickTime require.
        parameters.codec_tag = MKTAG('h', 'v', 'c', '1');
    }
    parameters.width = format.width;
    parameters.height = format.height;
    return setExtradata(parameters, format.codecConfiguration);
}

MaybeError FfmpegMovieFile::addAudioStream(const AudioTrackSettings& settings) {
    const AudioStreamFormat& format = settings.format;
    if (format.channels < 1 || format.channels > kMaxAacChannels || format.sampleRate < 1) {
        return Error(QStringLiteral("Audio track settings not supported: %1 channels at %2 Hz.")
                         .arg(format.channels)
                         .arg(format.sampleRate));
    }
    AudioTrack track{avformat_new_stream(context_.get(), nullptr), settings.origin, format.sampleRate,
                     std::nullopt};
    if (track.stream == nullptr) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    track.stream->time_base = AVRational{1, format.sampleRate};
    AVCodecParameters& parameters = *track.stream->codecpar;
    parameters.codec_type = AVMEDIA_TYPE_AUDIO;
    parameters.codec_id = AV_CODEC_ID_AAC;
    parameters.sample_rate = format.sampleRate;
    av_channel_layout_default(&parameters.ch_layout, format.channels);
    parameters.bit_rate = format.bitRate;
    parameters.frame_size = format.frameSize;
    if (MaybeError error = setExtradata(parameters, format.codecConfiguration)) {
        return error;
    }
    if (!settings.title.isEmpty()) {
        // MP4 keeps the title in the track's user data, and the handler's name where players
        // look when that is missing.
        const QByteArray title = settings.title.toUtf8();
        av_dict_set(&track.stream->metadata, "title", title.constData(), 0);
        av_dict_set(&track.stream->metadata, "handler_name", title.constData(), 0);
    }
    audio_.push_back(track);
    return std::nullopt;
}

MaybeError FfmpegMovieFile::addChapters(const std::vector<MovieChapter>& chapters) {
    for (const MovieChapter& chapter : chapters) {
        auto** grown = static_cast<AVChapter**>(
            av_realloc_array(context_->chapters, context_->nb_chapters + 1, sizeof(AVChapter*)));
        if (grown == nullptr) {
            return ffmpegError(AVERROR(ENOMEM));
        }
        context_->chapters = grown;
        auto* added = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (added == nullptr) {
            return ffmpegError(AVERROR(ENOMEM));
        }
        added->id = context_->nb_chapters;
        added->time_base = kVideoTimeBase;
        added->start = toVideoTicks(chapter.start - start_);
        added->end = toVideoTicks(chapter.end - start_);
        av_dict_set(&added->metadata, "title", chapter.title.toUtf8().constData(), 0);
        context_->chapters[context_->nb_chapters++] = added;
    }
    return std::nullopt;
}

MaybeError FfmpegMovieFile::writeVideo(const VideoPacket& packet) {
    if (MaybeError refused = refusal()) {
        return refused;
    }
    const MediaTime offset = packet.presentationTime - start_;
    if (!offset.isValid()) {
        return fail(refusedPacket(QStringLiteral("A video packet without a time stamp cannot be written.")));
    }
    const std::int64_t ticks = toVideoTicks(offset);
    if (lastVideoTicks_ && ticks <= *lastVideoTicks_) {
        return fail(refusedPacket(
            QStringLiteral("Video packets must come in time order: %1 s after %2 s.")
                .arg(packet.presentationTime.seconds(), 0, 'f', 6)
                .arg((start_ + MediaTime(*lastVideoTicks_, kVideoTimeBase.den)).seconds(), 0, 'f', 6)));
    }
    Expected<AVPacketPtr> shared = sharedPacket(packet.owner, packet.data, "video");
    if (!shared) {
        return fail(shared.error());
    }
    AVPacketPtr written = std::move(shared).value();
    written->pts = ticks;
    written->dts = ticks; // compressed without frame reordering: decode order is presentation order
    written->duration =
        packet.duration.isValid() && packet.duration.value() > 0 ? toVideoTicks(packet.duration) : 0;
    if (packet.keyFrame) {
        written->flags |= AV_PKT_FLAG_KEY;
    }
    lastVideoTicks_ = ticks;
    return write(std::move(written), *video_, kVideoTimeBase);
}

MaybeError FfmpegMovieFile::writeAudio(const AudioPacket& packet) {
    if (MaybeError refused = refusal()) {
        return refused;
    }
    AudioTrack* track = audioTrack(packet.origin);
    if (track == nullptr) {
        return fail(refusedPacket(QStringLiteral("This movie has no audio track.")));
    }
    if (!packet.presentationTime.isValid() || !packet.data) {
        return fail(refusedPacket(QStringLiteral("An audio packet without a time stamp cannot be written.")));
    }
    // Counted in samples from the start: the packets before it (negative) are cut by the edit list.
    const std::int64_t ticks = framesBetween(start_, packet.presentationTime, track->sampleRate);
    if (track->lastTicks && ticks <= *track->lastTicks) {
        return fail(refusedPacket(QStringLiteral("Audio packets must come in time order.")));
    }
    Expected<AVPacketPtr> shared = sharedPacket(packet.data, *packet.data, "audio");
    if (!shared) {
        return fail(shared.error());
    }
    AVPacketPtr written = std::move(shared).value();
    written->pts = ticks;
    written->dts = ticks;
    written->duration =
        packet.duration.isValid() ? framesBetween(MediaTime(0, 1), packet.duration, track->sampleRate) : 0;
    written->flags |= AV_PKT_FLAG_KEY;
    track->lastTicks = ticks;
    return write(std::move(written), *track->stream, track->stream->time_base);
}

MaybeError FfmpegMovieFile::finish() {
    if (MaybeError refused = refusal()) {
        return refused;
    }
    int result = av_write_trailer(context_.get());
    const int closed = avio_closep(&context_->pb);
    if (result >= 0 && closed < 0) {
        result = closed;
    }
    if (result < 0) {
        return fail(ffmpegError(result));
    }
    finished_ = true;
    return std::nullopt;
}

FfmpegMovieFile::AudioTrack* FfmpegMovieFile::audioTrack(AudioOrigin origin) {
    for (AudioTrack& track : audio_) {
        if (track.origin == origin) {
            return &track;
        }
    }
    return nullptr;
}

MaybeError FfmpegMovieFile::write(AVPacketPtr packet, AVStream& stream, AVRational timeBase) {
    av_packet_rescale_ts(packet.get(), timeBase, stream.time_base);
    packet->stream_index = stream.index;
    // The muxer takes the packet's reference (queued for interleaving, or written) and leaves the
    // packet blank.
    if (const int result = av_interleaved_write_frame(context_.get(), packet.get()); result < 0) {
        return fail(ffmpegError(result));
    }
    return std::nullopt;
}

MaybeError FfmpegMovieFile::fail(Error error) {
    failure_ = error;
    return error;
}

MaybeError FfmpegMovieFile::refusal() const {
    if (failure_) {
        return failure_;
    }
    if (finished_) {
        return Error(QStringLiteral("The movie file is already finished."));
    }
    return std::nullopt;
}

} // namespace

Expected<std::unique_ptr<MovieFile>> FfmpegMovieFileService::create(const QString& path,
                                                                    const MovieTracks& tracks) {
    return FfmpegMovieFile::create(path, tracks);
}

} // namespace backreel
