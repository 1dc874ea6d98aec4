#include "platform/ffmpeg/FfmpegMovieProbe.h"

#include "support/FfmpegTestMedia.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace backreel;
using namespace backreel::test;

namespace {

// A movie made by the ffmpeg tool from its test sources (2 s of picture and 440 Hz tone).
QString makeMovie(const QTemporaryDir& dir, const char* name, std::vector<std::string> arguments) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    std::vector<std::string> command{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.push_back(QFile::encodeName(path).toStdString());
    std::string output;
    EXPECT_TRUE(runProgram(command, &output, std::chrono::seconds(60))) << output;
    return path;
}

const std::vector<std::string> kVideo{"-f", "lavfi", "-i", "testsrc=size=64x48:rate=30:duration=2"};
const std::string kTone = "sine=frequency=440:sample_rate=48000:duration=2";

} // namespace

TEST(FfmpegMovieProbe, CountsTracksAndReadsDurationAndAudioFormats) {
    QTemporaryDir dir;
    std::vector<std::string> aac = kVideo;
    aac.insert(aac.end(),
               {"-f", "lavfi", "-i", kTone, "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
    const Expected<MovieInfo> info = FfmpegMovieProbe().probe(makeMovie(dir, "aac.mp4", aac));
    ASSERT_TRUE(info) << info.error().description.toStdString();
    EXPECT_EQ(info.value().videoTrackCount, 1u);
    EXPECT_EQ(info.value().audioTrackCount, 1u);
    EXPECT_EQ(info.value().audioFormats, std::vector<FourCC>{codec::aac});
    EXPECT_NEAR(info.value().durationSeconds, 2.0, 0.05);

    const Expected<MovieInfo> audioOnly =
        FfmpegMovieProbe().probe(makeMovie(dir, "two.mov",
                                           {"-f", "lavfi", "-i", kTone, "-f", "lavfi", "-i", kTone, "-map",
                                            "0", "-map", "1", "-c:a:0", "pcm_s16le", "-c:a:1", "alac"}));
    ASSERT_TRUE(audioOnly) << audioOnly.error().description.toStdString();
    EXPECT_EQ(audioOnly.value().videoTrackCount, 0u);
    EXPECT_EQ(audioOnly.value().audioFormats, (std::vector<FourCC>{FourCC("sowt"), FourCC("alac")}));
}

TEST(FfmpegMovieProbe, NamesAudioFormatsByTagOrCodec) {
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_MP3, MKTAG('m', 'p', '4', 'a')), FourCC(".mp3"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_AC3, 0), FourCC("ac-3"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_OPUS, MKTAG('O', 'p', 'u', 's')), FourCC("Opus"));
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_PCM_S16LE, 1), codec::linearPCM) << "a WAVE format number is no tag";
    EXPECT_EQ(audioFormatOf(AV_CODEC_ID_ADPCM_MS, 0), FourCC("????"));
}

TEST(FfmpegMovieProbe, FailsWithFfmpegsText) {
    QTemporaryDir dir;
    const Expected<MovieInfo> missing = FfmpegMovieProbe().probe(dir.filePath(QStringLiteral("none.mp4")));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, QStringLiteral("FFmpeg"));
    EXPECT_EQ(missing.error().description, QStringLiteral("No such file or directory"));

    QFile text(dir.filePath(QStringLiteral("notes.mp4")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not a movie\n") > 0);
    text.close();
    const Expected<MovieInfo> garbage = FfmpegMovieProbe().probe(text.fileName());
    ASSERT_FALSE(garbage);
    EXPECT_EQ(garbage.error().description, QStringLiteral("Invalid data found when processing input"));
}
