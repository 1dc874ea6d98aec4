#include "platform/ffmpeg/FfmpegMovieFile.h"

#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "support/FfmpegTestMedia.h"
#include "support/ToneAnalysis.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace backreel;
using namespace backreel::test;

static bool fileIsOpenHere(const QString& path) {
    return std::ranges::any_of(
        QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files),
        [&](const QFileInfo& link) { return link.symLinkTarget() == QFileInfo(path).canonicalFilePath(); });
}

TEST(FfmpegMovieFile, AClipKeepsItsFramesAndItsAudioPlaysInSyncAsAac) {
    // Stereo in chunks of 1024 frames from 50 ms before the first picture: one straddles the start
    // by 7.3 ms, which shows whether it is cut there or moved there. Mono at 96 kbit/s, where the
    // sound server switches from 48 kHz to 44.1 kHz half way through.
    std::vector<AudioChunk> mono = toneChunks(kFirstVideoPts, 0.5, 0.2, 1);
    const std::vector<AudioChunk> mono44 =
        toneChunks(kFirstVideoPts + MediaTime(1, 2), 0.5, 0.2, 1, 44100, 441);
    mono.insert(mono.end(), mono44.begin(), mono44.end());
    // Beside the stereo sound, a microphone in a track of its own: the mono tone, from 0.2 s.
    std::vector<AudioChunk> stereo =
        toneChunks(kFirstVideoPts - MediaTime(4500, kTimeScale), 1.55, 0.5, 2, 48000, 1024);
    for (AudioChunk chunk : toneChunks(kFirstVideoPts, 1.0, 0.2, 1)) {
        chunk.origin = AudioOrigin::microphone;
        stereo.push_back(chunk);
    }
    // Compressed as the recording does it, and cut as a clip is.
    const std::vector<AudioPacket> stereoPackets = aacPackets(stereo, kFirstVideoPts);
    const std::vector<AudioPacket> monoPackets = aacPackets(mono, kFirstVideoPts);
    const AudioTrackSettings microphone =
        trackOf(*std::ranges::find(stereoPackets, AudioOrigin::microphone, &AudioPacket::origin),
                QStringLiteral("Microphone"));
    const struct { // the first track, its sound, when the tone starts, how long the clip is
        AudioTrackSettings settings;
        std::vector<AudioPacket> audio;
        double onset, seconds;
    } cases[] = {{trackOf(stereoPackets.front(), QStringLiteral("System audio")), stereoPackets, 0.5, 1.5},
                 {trackOf(monoPackets.front()), monoPackets, 0.2, 1.0}};
    for (const auto& clip : cases) {
        const bool twoTracks = clip.settings.format.channels == 2;
        const std::vector<AudioTrackSettings> tracks =
            twoTracks ? std::vector{clip.settings, microphone} : std::vector{clip.settings};
        SCOPED_TRACE(clip.settings.format.channels);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("movie.mp4"));
        const EncodedVideo video =
            encodeVideo(VideoCodec::h264, 160, 96, static_cast<int>(clip.seconds * 30));
        FfmpegMovieFileService service;
        // Two chapters, as markers make them.
        const MediaTime middle = kFirstVideoPts + MediaTime(1, 2);
        const std::vector<MovieChapter> chapters{{kFirstVideoPts, middle, QStringLiteral("Start")},
                                                 {middle, kFirstVideoPts + MediaTime(1, 1), QStringLiteral("won")}};
        const MaybeError error = writeMovieFile(service, path, {video.format, tracks, kFirstVideoPts, chapters},
                                                video.packets, clip.audio);
        ASSERT_FALSE(error) << error->description.toStdString();

        const QJsonObject movie = probeMovie(path);
        const QJsonArray streams = movie[u"streams"].toArray();
        ASSERT_EQ(streams.size(), twoTracks ? 4 : 3) << "and the chapters' text track, last";
        EXPECT_EQ(streams[0][u"codec_tag_string"].toString(), QStringLiteral("avc1"));
        EXPECT_TRUE(number(streams[0][u"width"]) == 160 && number(streams[0][u"height"]) == 96);
        const QJsonValue sound = streams[1];
        EXPECT_EQ(sound[u"codec_tag_string"].toString(), QStringLiteral("mp4a"));
        EXPECT_EQ(number(sound[u"channels"]), clip.settings.format.channels);
        EXPECT_EQ(number(sound[u"sample_rate"]), 48000);
        const auto bitRate = static_cast<double>(clip.settings.format.bitRate);
        EXPECT_NEAR(number(sound[u"bit_rate"]), bitRate, bitRate * 0.25);
        EXPECT_NEAR(number(sound[u"start_time"]), 0.0, 0.001) << "cut at the first picture, not shifted";
        // Every picture at its time, a key frame every 15.
        int index = 0;
        for (const QJsonValue packet : movie[u"packets"].toArray()) {
            if (number(packet[u"stream_index"]) == 0) {
                EXPECT_NEAR(number(packet[u"pts_time"]), index / 30.0, 1e-6);
                EXPECT_EQ(packet[u"flags"].toString().startsWith(QLatin1Char('K')), index % 15 == 0) << index;
                ++index;
            }
        }
        EXPECT_EQ(index, static_cast<int>(video.packets.size()));

        const std::vector<float> decoded = decodeAudio(path);
        EXPECT_NEAR(static_cast<double>(firstLoud(decoded, 0.25f)) / 48000, clip.onset, 0.0005)
            << "the tone starts where its time stamp says";
        EXPECT_NEAR(static_cast<double>(decoded.size()) / 48000, clip.seconds, 0.03);
        const auto from = static_cast<std::size_t>((clip.onset + 0.05) * 48000);
        ASSERT_GE(decoded.size(), from + 19200);
        EXPECT_NEAR(frequencyOf(std::span(decoded).subspan(from, 19200), 48000), 440.0, 2)
            << "resampled, not pitched";
        EXPECT_EQ(decodeErrors(path), "");
        const Expected<MovieInfo> info = FfmpegMovieProbe().probe(path);
        ASSERT_TRUE(info) << info.error().description.toStdString();
        EXPECT_EQ(info.value().videoTrackCount, 1u);
        EXPECT_EQ(info.value().audioFormats, std::vector<FourCC>(tracks.size(), codec::aac));
        std::string listed;
        runProgram({"ffprobe", "-v", "error", "-of", "csv=p=0", "-show_entries", "chapter=start_time:chapter_tags=title",
                    QFile::encodeName(path).toStdString()},
                   &listed);
        EXPECT_EQ(listed, "0.000000,Start\n0.500000,won\n") << "chapters players list";
        if (twoTracks) {
            EXPECT_EQ(info.value().audioTitles, (std::vector{clip.settings.title, microphone.title}));
            const std::vector<float> spoken = decodeAudio(path, 1);
            EXPECT_NEAR(static_cast<double>(firstLoud(spoken, 0.25f)) / 48000, 0.2, 0.0005)
                << "the microphone's track keeps its own time line";
        }
        EXPECT_NEAR(info.value().durationSeconds, clip.seconds, 0.05);
    }
}

TEST(FfmpegMovieFile, AVideoOnlyMovieKeepsAnOddSizeAndTheHevcTag) {
    QTemporaryDir dir;
    FfmpegMovieFileService service;
    // A 1919×1079 display: the size the file says is the display's, not a rounded one.
    for (const auto& [codec, width, height, tag] :
         {std::tuple(VideoCodec::h264, 1919, 1079, "avc1"), std::tuple(VideoCodec::hevc, 160, 96, "hvc1")}) {
        const EncodedVideo video = encodeVideo(codec, width, height, 3);
        if (video.packets.empty()) {
            GTEST_SKIP() << "FFmpeg has no encoder for " << tag << " here";
        }
        const QString path = dir.filePath(QLatin1String(tag) + QStringLiteral(".mp4"));
        ASSERT_FALSE(
            writeMovieFile(service, path, {video.format, {}, kFirstVideoPts}, video.packets, {}));
        const QJsonArray streams = probeMovie(path)[u"streams"].toArray();
        ASSERT_EQ(streams.size(), 1) << "no audio track";
        EXPECT_EQ(streams[0][u"codec_tag_string"].toString(), QLatin1String(tag));
        EXPECT_TRUE(number(streams[0][u"width"]) == width && number(streams[0][u"height"]) == height);
        EXPECT_EQ(decodeErrors(path), "");
        EXPECT_NEAR(FfmpegMovieProbe().probe(path).value().durationSeconds, 0.1, 0.002)
            << "the last picture lasts as long as its packet says";
    }
}

TEST(FfmpegMovieFile, ErrorsCarryTheSystemsTextAndPacketsAreSharedNotCopied) {
    QTemporaryDir dir;
    FfmpegMovieFileService service;
    const EncodedVideo video = encodeVideo(VideoCodec::h264, 160, 96, 20);
    const MovieTracks tracks{video.format, {AudioTrackSettings{}}, kFirstVideoPts};
    const Expected<std::unique_ptr<MovieFile>> missing =
        service.create(QStringLiteral("/proc/backreel/movie.mp4"), tracks);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().systemError, ENOENT);
    EXPECT_EQ(missing.error().description,
              QStringLiteral("No such file or directory (/proc/backreel/movie.mp4)"));

    // Made with the user's usual permissions; a colon in the name is no protocol.
    const QString path = dir.filePath(QStringLiteral("with: colon.mp4"));
    const mode_t previous = umask(027);
    Expected<std::unique_ptr<MovieFile>> created = service.create(path, tracks);
    umask(previous);
    ASSERT_TRUE(created) << created.error().description.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
              QFileDevice::ReadGroup);

    // The muxer holds a packet until sound of the same time comes: it shares the packet's bytes.
    MovieFile& file = *created.value();
    ASSERT_FALSE(file.writeVideo(video.packets[0]));
    EXPECT_EQ(video.packets[0].owner.use_count(), 2);
    // Packets out of time order fail the file, and so does every call after.
    ASSERT_FALSE(file.writeVideo(video.packets[2]));
    const MaybeError error = file.writeVideo(video.packets[1]);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description,
              QStringLiteral("Video packets must come in time order: 5123.433333 s after 5123.466667 s."));
    EXPECT_EQ(file.finish(), error);
    EXPECT_TRUE(fileIsOpenHere(path));
    created = Error{};
    EXPECT_FALSE(fileIsOpenHere(path)) << "an unfinished file is closed as it stands";
    EXPECT_EQ(video.packets[0].owner.use_count(), 1) << "and lets go of the bytes";
}

TEST(FfmpegMovieFile, AFullDiskFailsTheMovieWithTheSystemsText) {
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (geteuid() != 0 ||
        mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
    }
    struct Unmount {
        QString path;
        ~Unmount() { umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{mountPoint};
    // About 1 MB of pictures into 256 kB: one real key frame, then made-up slices.
    EncodedVideo video = encodeVideo(VideoCodec::h264, 160, 96, 1);
    std::vector<std::byte> bytes(16000, std::byte{0x41});
    bytes[0] = bytes[1] = bytes[2] = std::byte{0};
    bytes[3] = std::byte{1};
    for (int index = 1; index <= 60; ++index) {
        video.packets.push_back(VideoPacket::copyOf(bytes, kFirstVideoPts + MediaTime(index, 30),
                                                    MediaTime(1, 30), false, video.format));
    }
    FfmpegMovieFileService service;
    const MaybeError error = writeMovieFile(service, mountPoint + QStringLiteral("/movie.mp4"),
                                            {video.format, {}, kFirstVideoPts}, video.packets, {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->systemError, ENOSPC);
    EXPECT_EQ(error->description, QStringLiteral("No space left on device"));
}
