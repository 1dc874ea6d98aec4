#include "export/MovieWriter.h"

#include "core/dispatch/Completion.h"
#include "export/AudioMix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <QFile>
#include <unistd.h>
#include <utility>

namespace backreel {

namespace {

// Removes what is at path; nothing there is fine. The error carries the system's text.
MaybeError removeExisting(const QString& path) {
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        return Error(QString::fromLocal8Bit(std::strerror(errno)), errno);
    }
    return std::nullopt;
}

// Everything that touches the file, on the writing thread.
MaybeError writeFile(MovieFileService& service, const QString& path, const MovieTracks& tracks,
                     const std::vector<VideoPacket>& video, const std::vector<AudioPacket>& audio,
                     Logger log) {
    if (MaybeError error = removeExisting(path)) {
        return error;
    }
    Expected<std::unique_ptr<MovieFile>> created = service.create(path, tracks);
    if (!created) {
        return created.error();
    }
    log.info(QStringLiteral("[Write] Writing %1 video packets + %2 audio packets…")
                 .arg(video.size())
                 .arg(audio.size()));
    // The tracks have audio exactly when the clip does.
    return writeTracks(*created.value(), video, audio);
}

} // namespace

namespace {
// Where the movie's pictures end: the last one lasts as long as its packet says.
MediaTime movieEnd(const std::vector<VideoPacket>& video) {
    const VideoPacket& last = video.back();
    return last.duration.isValid() && last.duration.value() > 0 ? last.presentationTime + last.duration
                                                                   : last.presentationTime;
}
} // namespace

std::vector<MovieChapter> chaptersFor(const std::vector<Marker>& markers, MediaTime startPTS, MediaTime endPTS) {
    std::vector<MovieChapter> chapters;
    int number = 0;
    for (const Marker& marker : markers) {
        ++number;
        // A marker on the same picture as the one before (a key pressed twice) adds nothing.
        if (compare(marker.at, startPTS) < 0 || compare(marker.at, endPTS) >= 0 ||
            (!chapters.empty() && compare(marker.at, chapters.back().start) == 0)) {
            continue;
        }
        if (chapters.empty() && compare(marker.at, startPTS) > 0) {
            chapters.push_back({startPTS, marker.at, QStringLiteral("Start")});
        }
        if (!chapters.empty()) {
            chapters.back().end = marker.at;
        }
        const QString title = marker.label.isEmpty() ? QStringLiteral("Marker %1").arg(number) : marker.label;
        chapters.push_back({marker.at, endPTS, title});
    }
    return chapters;
}

namespace {
// The AAC track for packets of this one's stream: its format (stereo at 48 kHz and 192 kbit/s
// without one) and its origin.
AudioTrackSettings audioTrackSettings(const AudioPacket& first) {
    AudioTrackSettings settings;
    if (first.format) {
        settings.format = *first.format;
    }
    settings.origin = first.origin;
    return settings;
}
} // namespace

std::vector<AudioTrackSettings> audioTracks(const std::vector<AudioPacket>& audio, bool mixed) {
    std::vector<AudioTrackSettings> tracks;
    for (const AudioOrigin origin : {AudioOrigin::system, AudioOrigin::microphone}) {
        const auto first = std::find_if(audio.begin(), audio.end(), [origin](const AudioPacket& packet) {
            return packet.origin == origin;
        });
        if (first == audio.end()) {
            continue;
        }
        if (mixed && !tracks.empty()) {
            tracks.front().title = QStringLiteral("System audio and microphone");
            continue;
        }
        AudioTrackSettings track = audioTrackSettings(*first);
        track.origin = mixed ? AudioOrigin::system : origin;
        track.title = origin == AudioOrigin::system ? QStringLiteral("System audio") : QStringLiteral("Microphone");
        tracks.push_back(track);
    }
    return tracks;
}

SilenceMeasure measureSilence(const std::vector<AudioPacket>& audio) {
    SilenceMeasure measure;
    for (const AudioPacket& packet : audio) {
        const double seconds = packet.duration.isValid() ? packet.duration.seconds() : 0;
        measure.totalSeconds += seconds;
        measure.silentSeconds += packet.peak == 0.0F ? seconds : 0;
    }
    return measure;
}

Expected<std::vector<AudioPacket>> mixedSound(const std::vector<AudioPacket>& audio,
                                              AudioCodecService& codecs) {
    // The mix takes the system sound's format (the microphone's where there is none).
    const auto system = std::ranges::find(audio, AudioOrigin::system, &AudioPacket::origin);
    const AudioPacket* lead = system != audio.end() ? &*system : audio.empty() ? nullptr : &audio.front();
    if (lead == nullptr || !lead->format) {
        return Error(QStringLiteral("There is no sound to mix."));
    }
    const AudioStreamFormat format = *lead->format;
    std::vector<AudioChunk> sound;
    for (const AudioOrigin origin : {AudioOrigin::system, AudioOrigin::microphone}) {
        std::unique_ptr<AudioDecoder> decoder;
        bool first = true;
        for (const AudioPacket& packet : audio) {
            if (packet.origin != origin) {
                continue;
            }
            if (!packet.format || packet.format->channels != format.channels ||
                packet.format->sampleRate != format.sampleRate) {
                return Error(QStringLiteral(
                    "The microphone and the system sound differ in format and cannot be mixed."));
            }
            if (!decoder) {
                Expected<std::unique_ptr<AudioDecoder>> opened = codecs.decoder(*packet.format);
                if (!opened) {
                    return opened.error();
                }
                decoder = std::move(opened).value();
            }
            Expected<AudioChunk> decoded = decoder->decode(packet);
            if (!decoded) {
                return decoded.error();
            }
            // The first packet only readies the decoder for the next: its own sound is half there.
            if (!std::exchange(first, false) && decoded.value().frameCount() > 0) {
                sound.push_back(std::move(decoded).value());
            }
        }
    }
    Expected<std::unique_ptr<AudioEncoder>> encoder = codecs.encoder(format, AudioOrigin::system);
    if (!encoder) {
        return encoder.error();
    }
    std::vector<AudioPacket> mixed;
    for (const AudioChunk& chunk : mixAudio(sound)) {
        const AudioView view{chunk.view(), chunk.channels, chunk.sampleRate, chunk.presentationTime};
        if (MaybeError error = encoder.value()->encode(view, mixed)) {
            return *error;
        }
    }
    if (MaybeError error = encoder.value()->flush(mixed)) {
        return *error;
    }
    return mixed;
}

MaybeError writeTracks(MovieFile& file, const std::vector<VideoPacket>& video,
                       const std::vector<AudioPacket>& audio) {
    std::size_t nextVideo = 0;
    std::size_t nextAudio = 0;
    while (nextVideo < video.size() || nextAudio < audio.size()) {
        const bool audioFirst = nextAudio < audio.size() &&
                                (nextVideo == video.size() ||
                                 audio[nextAudio].presentationTime < video[nextVideo].presentationTime);
        MaybeError error;
        if (audioFirst) {
            error = file.writeAudio(audio[nextAudio++]);
        } else if (const std::size_t index = nextVideo++; index + 1 < video.size()) {
            VideoPacket shown = video[index];
            shown.duration = video[index + 1].presentationTime - shown.presentationTime;
            error = file.writeVideo(shown);
        } else {
            error = file.writeVideo(video[index]);
        }
        if (error) {
            if (error->description.isEmpty()) {
                return Error(QStringLiteral("Failed to append sample."));
            }
            return error;
        }
    }
    return file.finish();
}

QCoro::Task<> validateMovie(QString path, std::shared_ptr<MovieProbe> probe, Logger log) {
    if (!probe) {
        co_return;
    }
    auto info = std::make_shared<std::optional<Expected<MovieInfo>>>();
    std::function<void()> read = [info, probe, path] {
        *info = probe->probe(path);
    };
    QCoro::Task<> reading = runInBackground("Movie check", std::move(read));
    co_await std::move(reading);
    const Expected<MovieInfo>& result = **info;
    if (!result) {
        log.error(QStringLiteral("[Validate] Could not probe output: %1").arg(result.error().description));
        co_return;
    }
    const MovieInfo& movie = result.value();
    log.info(QStringLiteral("[Validate] Output: %1 video track(s), %2 audio track(s), duration=%3s")
                 .arg(movie.videoTrackCount)
                 .arg(movie.audioTrackCount)
                 .arg(fixed(movie.durationSeconds, 2)));
    if (movie.audioTrackCount == 0) {
        log.error(QStringLiteral("[Validate] NO AUDIO TRACK in output file!"));
        co_return;
    }
    for (FourCC format : movie.audioFormats) {
        log.info(QStringLiteral("[Validate] Audio track format: '%1'")
                     .arg(QString::fromStdString(format.toString())));
    }
}

QCoro::Task<MaybeError> writeMovie(std::vector<VideoPacket> video, std::vector<AudioPacket> audio,
                                   QString path, MovieWriterServices services, Logger log,
                                   MicrophoneTrack microphone, std::vector<Marker> markers) {
    if (video.empty() || !video.front().format) {
        co_return Error(QStringLiteral("No frames to write."));
    }
    const VideoStreamFormatPtr videoFormat = video.front().format;
    log.info(QStringLiteral("[Write] Video: codec=%1, %2×%3, %4 frames; audio: %5 packets")
                 .arg(QString::fromLatin1(codecLogName(videoFormat->codec)))
                 .arg(videoFormat->width)
                 .arg(videoFormat->height)
                 .arg(video.size())
                 .arg(audio.size()));
    if (!services.movieFiles) {
        co_return Error(QStringLiteral("This build of Backreel cannot write movies."));
    }

    const bool mix = microphone == MicrophoneTrack::mixed;
    MovieTracks tracks{videoFormat, audioTracks(audio, mix), video.front().presentationTime,
                       chaptersFor(markers, video.front().presentationTime, movieEnd(video))};
    for (const MovieChapter& chapter : tracks.chapters) {
        log.info(QStringLiteral("[Write] Chapter at %1s: %2")
                     .arg(fixed((chapter.start - tracks.startTime).seconds(), 3), chapter.title));
    }
    // The microphone goes into the one track mixed, on the writing thread.
    const bool mixing = mix && std::any_of(audio.begin(), audio.end(), [](const AudioPacket& packet) {
                            return packet.origin == AudioOrigin::microphone;
                        });
    if (!audio.empty()) {
        for (const AudioTrackSettings& settings : tracks.audio) {
            log.info(QStringLiteral("[Write] Audio input: %1ch @ %2Hz → AAC %3kbps (%4)")
                         .arg(settings.format.channels)
                         .arg(settings.format.sampleRate)
                         .arg(settings.format.bitRate / 1000)
                         .arg(settings.title));
        }
        const double first = audio.front().presentationTime.seconds();
        const double last = audio.back().presentationTime.seconds();
        const AudioStreamFormatPtr& format = audio.front().format;
        log.info(QStringLiteral("[Write] Audio PTS: %1s–%2s span=%3s framesPerPacket=%4")
                     .arg(fixed(first, 3))
                     .arg(fixed(last, 3))
                     .arg(fixed(last - first, 3))
                     .arg(format ? format->frameSize : 0));
        // The whole clip, not its first packet: a click a second is sound, a gap after a lost
        // audio server is silence.
        const SilenceMeasure silence = measureSilence(audio);
        log.info(QStringLiteral("[Write] Audio data: silent in %1 s of %2 s")
                     .arg(fixed(silence.silentSeconds, 1))
                     .arg(fixed(silence.totalSeconds, 1)));
    } else {
        log.info(QStringLiteral("[Write] No audio samples — writing video-only"));
    }
    log.info(QStringLiteral("[Write] startPTS=%1s").arg(fixed(tracks.startTime.seconds(), 3)));

    // The clip moves to the writing thread and stays there until the file is done with it.
    struct Job {
        std::vector<VideoPacket> video;
        std::vector<AudioPacket> audio;
        MaybeError result;
    };
    if (mixing && !services.audioCodecs) {
        co_return Error(
            QStringLiteral("This build of Backreel cannot mix the microphone into the system sound."));
    }
    auto job = std::make_shared<Job>(Job{std::move(video), std::move(audio), std::nullopt});
    std::function<void()> work = [job, path, tracks, mixing, service = services.movieFiles,
                                  codecs = services.audioCodecs, log]() mutable {
        if (mixing) {
            Expected<std::vector<AudioPacket>> mixed = mixedSound(job->audio, *codecs);
            if (!mixed) {
                job->result = mixed.error();
                return;
            }
            job->audio = std::move(mixed).value();
            // The one track, as audioTracks() made it, in the format of the mix's encoder.
            if (!job->audio.empty()) {
                tracks.audio.front().format = *job->audio.front().format;
            }
        }
        job->result = writeFile(*service, path, tracks, job->video, job->audio, log);
    };
    QCoro::Task<> writing = runInBackground("Movie writer", std::move(work));
    co_await std::move(writing);
    if (job->result) {
        log.error(QStringLiteral("[Write] Writing failed: %1").arg(job->result->description));
        co_return job->result;
    }
    log.info(QStringLiteral("[Write] Movie finished"));

    QCoro::Task<> validating = validateMovie(path, services.movieProbe, log);
    co_await std::move(validating);
    co_return std::nullopt;
}

} // namespace backreel
