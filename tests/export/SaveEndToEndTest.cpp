// A real recording from start to saved file: the X11 desktop with a moving picture, a tone playing
// into the default sink, the real encoder and writer, checked with FFmpeg's own tools.

#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "platform/Platform.h"
#include "support/LogCapture.h"
#include "support/SaveFlowStandIn.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace backreel;
using test::FixedLocation;
using test::KeepingSaveFlow;

namespace {

QString run(const QString& program, const QStringList& arguments, QString* errors = nullptr) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    if (errors != nullptr) {
        *errors = QString::fromUtf8(process.readAllStandardError());
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The packet's H.264 bytes as the MP4 file stores them: each start code replaced by a 4-byte length.
QByteArray lengthPrefixed(const VideoPacket& packet) {
    const QByteArray annexB(reinterpret_cast<const char*>(packet.data.data()),
                            static_cast<qsizetype>(packet.data.size()));
    std::vector<std::pair<qsizetype, qsizetype>> units; // start, end of each NAL unit
    qsizetype i = 0;
    qsizetype start = -1;
    while (i + 3 <= annexB.size()) {
        if (annexB[i] == 0 && annexB[i + 1] == 0 && annexB[i + 2] == 1) {
            if (start >= 0) {
                qsizetype end = i;
                while (end > start && annexB[end - 1] == 0) {
                    --end;
                }
                units.emplace_back(start, end);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < 0) {
        return annexB; // already length-prefixed
    }
    units.emplace_back(start, annexB.size());
    QByteArray out;
    for (const auto& [from, to] : units) {
        const auto length = static_cast<quint32>(to - from);
        const char prefix[4] = {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                                static_cast<char>(length >> 8), static_cast<char>(length)};
        out.append(prefix, 4);
        out.append(annexB.mid(from, to - from));
    }
    return out;
}

} // namespace

TEST(SaveEndToEnd, TenSecondsOfARealDesktopWithSoundBecomeACheckedMovie) {
#if defined(__SANITIZE_THREAD__)
    // QProcess hides its threads' hand-overs from TSan, and real-time capture under TSan drops
    // most frames; the plain and ASan builds run this test.
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        GTEST_SKIP() << "needs the virtual desktop (scripts/virtual-desktop)";
    }
    for (const char* tool : {"ffplay", "ffprobe", "ffmpeg", "sox", "pacat"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    test::LogCapture log;
    QTemporaryDir dir;
    const QString location = dir.filePath(QStringLiteral("clip.mp4"));

    QProcess picture;
    picture.start(QStringLiteral("ffplay"),
                  {QStringLiteral("-loglevel"), QStringLiteral("quiet"), QStringLiteral("-an"),
                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                   QStringLiteral("testsrc2=size=640x360:rate=30"), QStringLiteral("-left"),
                   QStringLiteral("0"), QStringLiteral("-top"), QStringLiteral("0")});
    // The tone is made first and played by pacat alone, so that killing pacat silences it: a
    // pipeline's sox and pacat would outlive the shell and play on into later tests.
    const QString toneFile = dir.filePath(QStringLiteral("tone.raw"));
    run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-c"),
         QStringLiteral("2"), QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
         QStringLiteral("float"), QStringLiteral("-b"), QStringLiteral("32"), toneFile,
         QStringLiteral("synth"), QStringLiteral("30"), QStringLiteral("sine"), QStringLiteral("440")});
    QProcess tone;
    tone.start(QStringLiteral("pacat"),
               {QStringLiteral("--raw"), QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"),
                QStringLiteral("--channels=2"), toneFile});

    Platform platform = loadPlatform();
    auto inner = std::make_shared<DesktopSaveFlow>(
        std::make_shared<FixedLocation>(location),
        MovieWriterServices{platform.movieFiles, platform.movieProbe}, nullptr);
    auto saveFlow = std::make_shared<KeepingSaveFlow>(inner);
    RecordingManager manager(platform, saveFlow, std::make_shared<RecorderSettings>());
    QCoro::waitFor(manager.refreshDisplays());
    QCoro::waitFor(manager.startRecording());
    ASSERT_EQ(manager.status(), RecordingStatus::buffering()) << manager.status().message().toStdString();
    // Until the store holds a full ten seconds (and a bit) of video.
    const auto bufferedSeconds = [&] {
        const std::vector<VideoPacket> video = manager.session()->videoStore().snapshot();
        return video.size() < 2 ? 0.0
                                : (video.back().presentationTime - video.front().presentationTime).seconds();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= 10.6; }, 30000));
    QCoro::waitFor(manager.stopAndSave());
    picture.kill();
    tone.kill();
    picture.waitForFinished();
    tone.waitForFinished();
    ASSERT_EQ(manager.status(), RecordingStatus::saved(QUrl::fromLocalFile(location)))
        << manager.status().message().toStdString();

    // Streams and durations.
    const QJsonObject probe =
        QJsonDocument::fromJson(
            run(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_streams"),
                 QStringLiteral("-of"), QStringLiteral("json"), location})
                .toUtf8())
            .object();
    const QJsonArray streams = probe.value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), 2);
    QJsonObject video;
    QJsonObject audio;
    for (const auto& stream : streams) {
        (stream.toObject().value(QStringLiteral("codec_type")).toString() == QStringLiteral("video")
             ? video
             : audio) = stream.toObject();
    }
    EXPECT_EQ(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    const double videoDuration = video.value(QStringLiteral("duration")).toString().toDouble();
    EXPECT_GE(videoDuration, 10.0);
    EXPECT_LE(videoDuration, 10.6);
    EXPECT_EQ(audio.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(audio.value(QStringLiteral("sample_rate")).toString(), QStringLiteral("48000"));
    EXPECT_EQ(audio.value(QStringLiteral("channels")).toInt(), 2);
    const double audioBitRate = audio.value(QStringLiteral("bit_rate")).toString().toDouble();
    // Encoded at 192 kbit/s on average; a lone sine needs fewer bits, so the measured rate is lower.
    EXPECT_GT(audioBitRate, 100000);
    EXPECT_LT(audioBitRate, 230000);

    // A full decode says nothing.
    QString decodeErrors;
    // The frames keep the capture's own times (about 30 a second, with the timer's jitter); the
    // check keeps them in the file's time base rather than rounding them to a 1/30 s grid, where two
    // close frames would collide.
    run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), location,
         QStringLiteral("-enc_time_base"), QStringLiteral("-1"), QStringLiteral("-f"), QStringLiteral("null"),
         QStringLiteral("-")},
        &decodeErrors);
    EXPECT_TRUE(decodeErrors.trimmed().isEmpty()) << decodeErrors.toStdString();

    // The sound is there.
    QString volume;
    run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-i"), location, QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-af"),
         QStringLiteral("volumedetect"), QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
        &volume);
    const qsizetype at = volume.indexOf(QStringLiteral("mean_volume: "));
    ASSERT_GE(at, 0);
    const double meanVolume = volume.mid(at + 13).section(QLatin1Char(' '), 0, 0).toDouble();
    EXPECT_GT(meanVolume, -40.0) << "the tone should be audible";

    // The video passed through unchanged, packet for packet, and starts on a key frame.
    const QStringList frames =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), location,
             QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-c"), QStringLiteral("copy"),
             QStringLiteral("-f"), QStringLiteral("framemd5"), QStringLiteral("-")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .filter(QRegularExpression(QStringLiteral("^0,")));
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    ASSERT_EQ(static_cast<std::size_t>(frames.size()), clip.video.size());
    for (std::size_t i = 0; i < clip.video.size(); ++i) {
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash(lengthPrefixed(clip.video[i]), QCryptographicHash::Md5).toHex());
        ASSERT_EQ(frames[static_cast<qsizetype>(i)].section(QLatin1Char(','), -1).trimmed(), expected)
            << "packet " << i;
    }
    const QString firstFlags =
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
             QStringLiteral("v"), QStringLiteral("-show_entries"), QStringLiteral("packet=flags"),
             QStringLiteral("-read_intervals"), QStringLiteral("%+#1"), QStringLiteral("-of"),
             QStringLiteral("csv=p=0"), location});
    EXPECT_TRUE(firstFlags.startsWith(QLatin1Char('K'))) << firstFlags.toStdString();

    // The check of the written file only logs what it found.
    EXPECT_GE(log.countStartingWith(QStringLiteral("[Validate] Output: 1 video track(s), 1 audio track(s)")),
              1);
}
