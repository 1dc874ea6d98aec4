#include "platform/ffmpeg/FfmpegMovieFile.h"

#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "support/FfmpegTestMedia.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace backreel;
using namespace backreel::test;

namespace {

const MediaTime kFiftyMilliseconds(4500, kTimeScale);

MovieTracks tracksFor(const EncodedVideo& video,
                      std::optional<AudioTrackSettings> audio = AudioTrackSettings{}) {
    return MovieTracks{video.format, audio, kFirstVideoPts};
}

// A packet's last slice ends it both as the encoder gave it (Annex B) and as the file keeps it
// (length-prefixed): a frame written unchanged ends in the same bytes.
bool sameEnding(const std::vector<std::byte>& written, std::span<const std::byte> given) {
    return written.size() >= 32 && given.size() >= 32 &&
           std::equal(given.end() - 32, given.end(), written.end() - 32);
}

bool fileIsOpenHere(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& link :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
        if (link.symLinkTarget() == canonical) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(FfmpegMovieFile, AClipWithAudioKeepsItsFramesAndPlaysInSync) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("movie.mp4"));
    const EncodedVideo video = encodeVideo(VideoCodec::h264, 160, 96, 45);
    ASSERT_EQ(video.packets.size(), 45u);
    // Chunks of 1024 frames from 50 ms before the first picture: one straddles the start by 7.3 ms,
    // which shows whether it is cut there or moved there. The tone starts half a second in.
    const std::vector<AudioChunk> audio =
        toneChunks(kFirstVideoPts - kFiftyMilliseconds, 1.55, toneFrom(0.5, 0.5, 0.05), 2, 48000, 1024);
    FfmpegMovieFileService service;
    const MaybeError error = writeMovieFile(service, path, tracksFor(video), video.packets, audio);
    ASSERT_FALSE(error) << error->description.toStdString();

    const std::vector<StreamContents> streams = readMovie(path);
    ASSERT_EQ(streams.size(), 2u);
    const StreamContents& pictures = streams[0];
    EXPECT_EQ(pictures.codecTag, MKTAG('a', 'v', 'c', '1'));
    EXPECT_EQ(pictures.width, 160);
    EXPECT_EQ(pictures.height, 96);
    ASSERT_EQ(pictures.pts.size(), 45u);
    for (std::size_t index = 0; index < 45; ++index) {
        EXPECT_NEAR(static_cast<double>(pictures.pts[index]) * av_q2d(pictures.timeBase),
                    static_cast<double>(index) / 30.0, 1e-9);
        EXPECT_EQ(pictures.keys[index], index % 15 == 0) << "frame " << index;
        EXPECT_TRUE(sameEnding(pictures.data[index], video.packets[index].data)) << "frame " << index;
    }
    const StreamContents& sound = streams[1];
    EXPECT_EQ(sound.type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(sound.codecTag, MKTAG('m', 'p', '4', 'a'));
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_NEAR(static_cast<double>(sound.bitRate), 192000, 192000 * 0.25);

    const std::optional<DecodedAudio> decoded = decodeAudio(path);
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(decoded->startSeconds, 0.0, 0.001) << "cut at the first picture, not shifted";
    EXPECT_NEAR(decoded->firstAbove(0.25f), 0.5, 0.002) << "the tone starts where its time stamp says";
    EXPECT_NEAR(decoded->frequencyBetween(0.7, 1.3), 440.0, 4.0);
    EXPECT_NEAR(decoded->seconds(), 1.5, 0.03);
    EXPECT_EQ(decodeErrors(path), "");

    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(path);
    ASSERT_TRUE(info);
    EXPECT_NEAR(info.value().durationSeconds, 1.5, 0.05);
}

TEST(FfmpegMovieFile, MonoAudioIsMonoAacAt96kbitsAndARateChangeKeepsThePitch) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mono.mp4"));
    const EncodedVideo video = encodeVideo(VideoCodec::h264, 160, 96, 30);
    // The sound server switches from 48 kHz to 44.1 kHz half way through.
    std::vector<AudioChunk> audio = toneChunks(kFirstVideoPts, 0.5, toneFrom(0.2, 0.5, 0.05), 1, 48000);
    const std::vector<AudioChunk> later =
        toneChunks(kFirstVideoPts + MediaTime(1, 2), 0.5, toneFrom(0.2, 0.5, 0.05), 1, 44100, 441);
    audio.insert(audio.end(), later.begin(), later.end());
    FfmpegMovieFileService service;
    const MaybeError error = writeMovieFile(
        service, path, tracksFor(video, AudioTrackSettings{1, 48000, 96000}), video.packets, audio);
    ASSERT_FALSE(error) << error->description.toStdString();

    const std::vector<StreamContents> streams = readMovie(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].channels, 1);
    EXPECT_EQ(streams[1].sampleRate, 48000);
    EXPECT_NEAR(static_cast<double>(streams[1].bitRate), 96000, 96000 * 0.25);
    const std::optional<DecodedAudio> decoded = decodeAudio(path);
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(decoded->firstAbove(0.25f), 0.2, 0.004);
    EXPECT_NEAR(decoded->frequencyBetween(0.25, 0.5), 440.0, 4.0);
    EXPECT_NEAR(decoded->frequencyBetween(0.55, 0.95), 440.0, 4.0) << "resampled, not pitched";
    EXPECT_NEAR(decoded->seconds(), 1.0, 0.03);
    EXPECT_EQ(decodeErrors(path), "");
}

TEST(FfmpegMovieFile, VideoOnlyOddSizedAndHevcMoviesKeepTheirFormat) {
    QTemporaryDir dir;
    FfmpegMovieFileService service;
    // A 1919×1079 display: the size the file says is the display's, not a rounded one.
    const EncodedVideo odd = encodeVideo(VideoCodec::h264, 1919, 1079, 3);
    const QString oddPath = dir.filePath(QStringLiteral("odd.mp4"));
    ASSERT_FALSE(writeMovieFile(service, oddPath, tracksFor(odd, std::nullopt), odd.packets, {}));
    std::vector<StreamContents> streams = readMovie(oddPath);
    ASSERT_EQ(streams.size(), 1u) << "no audio track";
    EXPECT_EQ(streams[0].width, 1919);
    EXPECT_EQ(streams[0].height, 1079);
    EXPECT_TRUE(streams[0].keys.front()) << "the movie starts on a key frame";
    EXPECT_EQ(decodeErrors(oddPath), "");

    const EncodedVideo hevc = encodeVideo(VideoCodec::hevc, 160, 96, 20);
    if (hevc.packets.empty()) {
        GTEST_SKIP() << "FFmpeg has no libx265 here";
    }
    const QString hevcPath = dir.filePath(QStringLiteral("hevc.mp4"));
    ASSERT_FALSE(writeMovieFile(service, hevcPath, tracksFor(hevc, std::nullopt), hevc.packets, {}));
    streams = readMovie(hevcPath);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codecTag, MKTAG('h', 'v', 'c', '1'));
    ASSERT_EQ(streams[0].data.size(), hevc.packets.size());
    EXPECT_TRUE(sameEnding(streams[0].data[5], hevc.packets[5].data));
    EXPECT_EQ(decodeErrors(hevcPath), "");
}

TEST(FfmpegMovieFile, CreationAndWriteErrorsCarryTheSystemsText) {
    QTemporaryDir dir;
    FfmpegMovieFileService service;
    const EncodedVideo video = encodeVideo(VideoCodec::h264, 160, 96, 20);
    const Expected<std::unique_ptr<MovieFile>> missing =
        service.create(QStringLiteral("/proc/backreel/movie.mp4"), tracksFor(video));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, QStringLiteral("FFmpeg"));
    EXPECT_EQ(missing.error().description,
              QStringLiteral("No such file or directory (/proc/backreel/movie.mp4)"));

    // Made with the user's usual permissions; a colon in the name is no protocol.
    const QString path = dir.filePath(QStringLiteral("with: colon.mp4"));
    const mode_t previous = umask(027);
    Expected<std::unique_ptr<MovieFile>> created = service.create(path, tracksFor(video));
    umask(previous);
    ASSERT_TRUE(created) << created.error().description.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & QFileDevice::ReadOther, 0);
    EXPECT_TRUE(QFileInfo(path).permissions() & QFileDevice::ReadGroup);

    // The muxer holds a packet until sound of the same time comes: it shares the packet's bytes.
    MovieFile& file = *created.value();
    ASSERT_FALSE(file.writeVideo(video.packets[0]));
    EXPECT_EQ(video.packets[0].owner.use_count(), 2);
    // Packets out of time order fail the file, and so does every call after.
    ASSERT_FALSE(file.writeVideo(video.packets[2]));
    const MaybeError error = file.writeVideo(video.packets[1]);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->description,
              QStringLiteral("Video packets must come in time order: 5123.433333 s after 5123.466667 s."));
    EXPECT_EQ(file.finish(), error);
    EXPECT_TRUE(fileIsOpenHere(path));
    created = Error{};
    EXPECT_FALSE(fileIsOpenHere(path)) << "an unfinished file is closed as it stands";
    EXPECT_EQ(video.packets[0].owner.use_count(), 1) << "and lets go of the bytes";
}

TEST(FfmpegMovieFile, AFullDiskFailsTheMovieWithTheSystemsText) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        QString path;
        ~Unmount() { umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{mountPoint};

    // About 1 MB of pictures into 256 kB.
    EncodedVideo video = encodeVideo(VideoCodec::h264, 160, 96, 1);
    std::vector<std::byte> bytes(16000, std::byte{0x41}); // one made-up slice
    bytes[0] = bytes[1] = bytes[2] = std::byte{0};
    bytes[3] = std::byte{1};
    for (int index = 0; index < 60; ++index) {
        video.packets.push_back(
            VideoPacket::copyOf(bytes, kFirstVideoPts + MediaTime(3000 * (index + 1), kTimeScale),
                                MediaTime(3000, kTimeScale), false, video.format));
    }
    FfmpegMovieFileService service;
    const MaybeError error = writeMovieFile(service, mountPoint + QStringLiteral("/movie.mp4"),
                                            tracksFor(video, std::nullopt), video.packets, {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, QStringLiteral("FFmpeg"));
    EXPECT_EQ(error->code, AVERROR(ENOSPC));
    EXPECT_EQ(error->description, QStringLiteral("No space left on device"));
}
