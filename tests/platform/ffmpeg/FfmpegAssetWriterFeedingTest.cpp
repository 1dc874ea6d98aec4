#include "platform/ffmpeg/FfmpegAssetWriterMuxer.h"
#include "platform/ffmpeg/FfmpegAssetWriterService.h"

#include "FfmpegTestMedia.h"
#include "FfmpegTestMovie.h"
#include "FfmpegWriterTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

using namespace backreel;
using namespace backreel::test;
using namespace std::chrono_literals;

namespace {

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

// MARK: feeding

TEST(FfmpegAssetWriter, InputsTakeABoundedQueueAndAreAskedAgainOnceTheMuxerDrainsIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paced.mp4"));
    const FormatDescriptionPtr format = h264Format();
    constexpr int kFrames = 300;
    Inputs inputs = makeWriter(path, format);
    Feeder feeder(inputs.writer, inputs.video, randomVideo(format, kFrames, 2000, kFirstVideoPts));
    EXPECT_FALSE(inputs.video->isReadyForMoreMediaData()) << "not before writing starts";
    feeder.start();
    EXPECT_EQ(feeder.calls(), 0) << "registered before startWriting: called once writing starts";
    ASSERT_TRUE(inputs.writer->startWriting());

    // Without a session nothing is written, so the input fills up and stays full.
    constexpr std::size_t kBound = FfmpegAssetWriterMuxer::kMaxQueuedPackets;
    EXPECT_EQ(feeder.waitForAppended(kBound), kBound);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(feeder.appended(), kBound);
    EXPECT_FALSE(inputs.video->isReadyForMoreMediaData());
    EXPECT_EQ(feeder.calls(), 1) << "a full input is not asked again";

    inputs.writer->startSession(kFirstVideoPts);
    ASSERT_TRUE(feeder.waitUntilDone());
    EXPECT_EQ(feeder.appended(), static_cast<std::size_t>(kFrames));
    EXPECT_FALSE(feeder.refused() || feeder.stopped());
    EXPECT_EQ(feeder.overlappingCalls(), 0);
    EXPECT_EQ(feeder.callsAfterDone(), 0) << "never called after markAsFinished";
    EXPECT_FALSE(inputs.video->isReadyForMoreMediaData()) << "a finished input takes nothing";
    ASSERT_EQ(finishAndWait(*inputs.writer), 1);
    EXPECT_EQ(inputs.writer->status(), AssetWriterStatus::completed);
    const auto streams = readMovie(path.toStdString());
    ASSERT_TRUE(streams);
    EXPECT_EQ(streams->front().packets.size(), static_cast<std::size_t>(kFrames));
}

TEST(FfmpegAssetWriter, AnInputThatDrainsWhileItsFeederRunsAsksAgainWhenTheFeederReturns) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lingering.mp4"));
    const FormatDescriptionPtr format = h264Format();
    Inputs inputs = makeWriter(path, format);
    ASSERT_TRUE(inputs.writer->startWriting());
    inputs.writer->startSession(kFirstVideoPts);
    Feeder feeder(inputs.writer, inputs.video, randomVideo(format, 300, 500, kFirstVideoPts));
    feeder.lingerWhenFull(30ms); // the muxer empties the queue before the call returns
    feeder.start();
    ASSERT_TRUE(feeder.waitUntilDone()) << "stalled at " << feeder.appended();
    EXPECT_EQ(feeder.appended(), 300u);
    EXPECT_EQ(feeder.overlappingCalls(), 0);
    EXPECT_EQ(feeder.callsAfterDone(), 0);
    EXPECT_EQ(finishAndWait(*inputs.writer), 1);
    EXPECT_EQ(inputs.writer->status(), AssetWriterStatus::completed);
}

TEST(FfmpegAssetWriter, ARefusedSampleFailsTheWriterAndReleasesTheOtherFeeder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("refused.mp4"));
    const FormatDescriptionPtr format = h264Format();
    std::vector<MediaSamplePtr> video = randomVideo(format, 250, 500, kFirstVideoPts);
    video[37] = video[36]; // the same time stamp twice
    const PcmOptions pcm;
    const std::vector<MediaSamplePtr> audio =
        pcmSamples(kFirstVideoPts, 8.4, pcm, kFirstVideoPts, toneFrom(0));
    Inputs inputs = makeWriter(path, format, audio.front()->formatDescription());

    EXPECT_FALSE(inputs.video->append(video.front())) << "nothing is taken before writing starts";
    ASSERT_TRUE(inputs.writer->error());
    EXPECT_EQ(inputs.writer->error()->description,
              QStringLiteral("Cannot append a sample: the writer is not writing."));
    EXPECT_EQ(inputs.writer->status(), AssetWriterStatus::unknown);

    ASSERT_TRUE(inputs.writer->startWriting());
    inputs.writer->startSession(kFirstVideoPts);
    Feeder videoFeeder(inputs.writer, inputs.video, video);
    Feeder audioFeeder(inputs.writer, inputs.audio, audio);
    audioFeeder.start();
    videoFeeder.start();
    ASSERT_TRUE(videoFeeder.waitUntilDone());
    EXPECT_TRUE(videoFeeder.refused());
    EXPECT_EQ(videoFeeder.appended(), 37u);
    ASSERT_TRUE(audioFeeder.waitUntilDone()) << "the audio feeder must see the failure and stop";
    EXPECT_TRUE(audioFeeder.stopped() || audioFeeder.refused());
    EXPECT_EQ(inputs.writer->status(), AssetWriterStatus::failed);
    ASSERT_TRUE(inputs.writer->error());
    EXPECT_EQ(inputs.writer->error()->description,
              QStringLiteral("Video samples must come in time order: 5124.600000 s after 5124.600000 s."));
    EXPECT_FALSE(inputs.audio->append(audio.front()));
    EXPECT_EQ(finishAndWait(*inputs.writer), 1) << "a failed writer completes at once, once";
    EXPECT_EQ(inputs.writer->status(), AssetWriterStatus::failed);
}

TEST(FfmpegAssetWriter, InputsForFormatsItCannotWriteAreNotAdded) {
    QTemporaryDir dir;
    FfmpegAssetWriterService service;
    auto created = service.createWriter(dir.filePath(QStringLiteral("bad.mp4")), FileType::mpeg4);
    ASSERT_TRUE(created);
    const std::shared_ptr<AssetWriter> writer = created.value();
    auto mpeg4Video = writer->makeInput(MediaType::video, std::nullopt,
                                        FormatDescription::video(FourCC("mp4v"), {160, 96}));
    EXPECT_FALSE(writer->canAddInput(*mpeg4Video));
    AudioStreamBasicDescription packed24;
    packed24.sampleRate = 48000;
    packed24.channelsPerFrame = 2;
    packed24.bitsPerChannel = 24;
    packed24.bytesPerFrame = 6;
    auto audio24 = writer->makeInput(MediaType::audio, aacSettings(2, 48000, 192000),
                                     FormatDescription::audio(packed24));
    EXPECT_FALSE(writer->canAddInput(*audio24));
    auto opus = writer->makeInput(
        MediaType::audio,
        [] {
            AudioOutputSettings settings;
            settings.formatID = FourCC("opus");
            return settings;
        }(),
        FormatDescription::audio(pcmDescription(PcmOptions{})));
    EXPECT_FALSE(writer->canAddInput(*opus));

    writer->addInput(audio24);
    EXPECT_EQ(writer->status(), AssetWriterStatus::failed);
    ASSERT_TRUE(writer->error());
    EXPECT_EQ(
        writer->error()->description,
        QStringLiteral("Audio input format not supported: 'lpcm', 24-bit integer, 2 channels at 48000 Hz."));
    EXPECT_FALSE(writer->startWriting());
    EXPECT_EQ(finishAndWait(*writer), 1);
}

// MARK: files

TEST(FfmpegAssetWriter, AFullDiskFailsTheWriterWithTheSystemsText) {
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

    const FormatDescriptionPtr format = h264Format();
    const QString path = mountPoint + QStringLiteral("/movie.mp4");
    Inputs inputs = makeWriter(path, format);
    ASSERT_TRUE(inputs.writer->startWriting());
    inputs.writer->startSession(kFirstVideoPts);
    Feeder feeder(inputs.writer, inputs.video, randomVideo(format, 60, 16000, kFirstVideoPts)); // ~1 MB
    feeder.start();
    ASSERT_TRUE(feeder.waitUntilDone());
    const int completions = finishAndWait(*inputs.writer);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(inputs.writer->status(), AssetWriterStatus::failed);
    ASSERT_TRUE(inputs.writer->error());
    EXPECT_EQ(inputs.writer->error()->domain, QStringLiteral("FFmpeg"));
    EXPECT_EQ(inputs.writer->error()->code, AVERROR(ENOSPC));
    EXPECT_EQ(inputs.writer->error()->description, QStringLiteral("No space left on device"));
    inputs = {};
    EXPECT_FALSE(fileIsOpenHere(path));
}

TEST(FfmpegAssetWriter, AWriterDroppedUnfinishedStopsAndClosesItsFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dropped.mp4"));
    const FormatDescriptionPtr format = h264Format();
    Inputs inputs = makeWriter(path, format);
    ASSERT_TRUE(inputs.writer->startWriting());
    inputs.writer->startSession(kFirstVideoPts);
    for (const MediaSamplePtr& sample : randomVideo(format, 50, 1000, kFirstVideoPts)) {
        ASSERT_TRUE(inputs.video->append(sample));
    }
    EXPECT_TRUE(fileIsOpenHere(path));
    const auto started = std::chrono::steady_clock::now();
    inputs = {};
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_TRUE(QFileInfo::exists(path)) << "what was written stays for the caller to remove";
    EXPECT_FALSE(fileIsOpenHere(path));
}

TEST(FfmpegAssetWriter, AWriterDroppedWhileFinishingStillFinishesAndCompletes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("finishing.mp4"));
    const FormatDescriptionPtr format = h264Format();
    Inputs inputs = makeWriter(path, format);
    ASSERT_TRUE(inputs.writer->startWriting());
    inputs.writer->startSession(kFirstVideoPts);
    for (const MediaSamplePtr& sample : randomVideo(format, 60, 1000, kFirstVideoPts)) {
        ASSERT_TRUE(inputs.video->append(sample));
    }
    std::atomic<int> completions{0};
    inputs.writer->finishWriting([&completions] { ++completions; });
    inputs = {};
    EXPECT_EQ(completions.load(), 1);
    const auto streams = readMovie(path.toStdString());
    ASSERT_TRUE(streams) << "the file was finished";
    EXPECT_EQ(streams->front().packets.size(), 60u);
}

TEST(FfmpegAssetWriterService, CreatesTheFileWithTheUsersPermissions) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("with: colon.mp4"));
    const mode_t previous = umask(027);
    FfmpegAssetWriterService service;
    auto created = service.createWriter(path, FileType::mpeg4);
    umask(previous);
    ASSERT_TRUE(created) << created.error().description.toStdString();
    struct stat status {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(FfmpegAssetWriterService, AFolderThatCannotBeWrittenFailsWithThePlatformText) {
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0500), 0);
    const QString path = locked + QStringLiteral("/movie.mp4");
    FfmpegAssetWriterService service;
    // Root ignores the folder's permissions; this thread acts as nobody for the file system.
    const bool asRoot = geteuid() == 0;
    if (asRoot) {
        setfsuid(65534);
    }
    auto created = service.createWriter(path, FileType::mpeg4);
    if (asRoot) {
        setfsuid(0);
    }
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().domain, QStringLiteral("FFmpeg"));
    EXPECT_EQ(created.error().code, AVERROR(EACCES));
    EXPECT_EQ(created.error().description, QStringLiteral("Permission denied (%1)").arg(path));
    EXPECT_FALSE(QFileInfo::exists(path));

    auto missing = service.createWriter(QStringLiteral("/proc/backreel/movie.mp4"), FileType::mpeg4);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description,
              QStringLiteral("No such file or directory (/proc/backreel/movie.mp4)"));
}
