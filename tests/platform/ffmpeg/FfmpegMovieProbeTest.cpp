#include "platform/ffmpeg/FfmpegMovieProbe.h"
#include "platform/ffmpeg/FfmpegPtr.h"

#include "FfmpegTestMovie.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::test;

namespace {

// A movie made by the ffmpeg tool from its test sources; empty when the tool failed.
QString makeMovie(const QTemporaryDir& dir, const QString& name, const QStringList& inputs,
                  const QStringList& outputOptions) {
    const QString path = dir.filePath(name);
    QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                          QStringLiteral("-y")};
    arguments << inputs << outputOptions << path;
    const ToolOutput output = runTool(QStringLiteral("ffmpeg"), arguments);
    EXPECT_EQ(output.exitCode, 0) << output.standardError.toStdString();
    return output.exitCode == 0 ? path : QString();
}

QStringList source(const char* filter) {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QString::fromLatin1(filter)};
}

const QStringList kVideo = source("testsrc=size=64x48:rate=30:duration=2");
const QStringList kTone = source("sine=frequency=440:sample_rate=48000:duration=2");
const QStringList kH264{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                        QStringLiteral("ultrafast")};

} // namespace

TEST(FfmpegMovieProbe, CountsTracksAndReadsDurationAndAudioFormats) {
    QTemporaryDir dir;
    const QString aac =
        makeMovie(dir, QStringLiteral("aac.mp4"), kVideo + kTone, kH264 + QStringList{"-c:a", "aac"});
    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(aac);
    ASSERT_TRUE(info) << info.error().description.toStdString();
    EXPECT_EQ(info.value().videoTrackCount, 1u);
    EXPECT_EQ(info.value().audioTrackCount, 1u);
    EXPECT_EQ(info.value().audioFormats, std::vector<FourCC>{codec::aac});
    EXPECT_NEAR(info.value().durationSeconds, 2.0, 0.05);

    const QString two = makeMovie(dir, QStringLiteral("two.mov"), kTone + kTone,
                                  {"-map", "0", "-map", "1", "-c:a:0", "pcm_s16le", "-c:a:1", "alac"});
    const Expected<MovieInfo> audioOnly = FfmpegMovieProbe().probe(two);
    ASSERT_TRUE(audioOnly) << audioOnly.error().description.toStdString();
    EXPECT_EQ(audioOnly.value().videoTrackCount, 0u);
    EXPECT_EQ(audioOnly.value().audioTrackCount, 2u);
    EXPECT_EQ(audioOnly.value().audioFormats, (std::vector<FourCC>{FourCC("sowt"), FourCC("alac")}));

    const QString silent = makeMovie(dir, QStringLiteral("silent.mp4"), kVideo, kH264);
    const Expected<MovieInfo> videoOnly = FfmpegMovieProbe().probe(silent);
    ASSERT_TRUE(videoOnly);
    EXPECT_EQ(videoOnly.value().videoTrackCount, 1u);
    EXPECT_EQ(videoOnly.value().audioTrackCount, 0u);
    EXPECT_TRUE(videoOnly.value().audioFormats.empty());
}

TEST(FfmpegMovieProbe, NamesAudioFormatsByTagOrCodec) {
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_AAC, MKTAG('m', 'p', '4', 'a')), codec::aac);
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_MP3, MKTAG('m', 'p', '4', 'a')), FourCC(".mp3"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_AC3, MKTAG('a', 'c', '-', '3')), FourCC("ac-3"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_AC3, 0), FourCC("ac-3"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_OPUS, MKTAG('O', 'p', 'u', 's')), FourCC("Opus"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_PCM_S16LE, 1), codec::linearPCM) << "a WAVE format number is no tag";
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_PCM_F32LE, 0), codec::linearPCM);
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_ADPCM_MS, 0), FourCC("????"));
}

TEST(FfmpegMovieProbe, FailsWithFfmpegsText) {
    QTemporaryDir dir;
    const Expected<MovieInfo> missing = FfmpegMovieProbe().probe(dir.filePath(QStringLiteral("none.mp4")));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, QStringLiteral("FFmpeg"));
    EXPECT_EQ(missing.error().code, AVERROR(ENOENT));
    EXPECT_EQ(missing.error().description, QStringLiteral("No such file or directory"));

    QFile text(dir.filePath(QStringLiteral("notes.mp4")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are not the frames you are looking for\n");
    text.close();
    const Expected<MovieInfo> garbage = FfmpegMovieProbe().probe(text.fileName());
    ASSERT_FALSE(garbage);
    EXPECT_EQ(garbage.error().code, AVERROR_INVALIDDATA);
    EXPECT_EQ(garbage.error().description, QStringLiteral("Invalid data found when processing input"));
}
