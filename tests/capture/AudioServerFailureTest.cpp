// The audio server dies in the middle of a real recording and comes back: the user is told while
// it is away, and the saved movie has the sound before and after the gap where it was played,
// with silence between.

#include "platform/pulse/PulseTestSupport.h"
#include "support/DesktopRecorder.h"
#include "support/FfmpegTestMedia.h"
#include "support/ToneAnalysis.h"

#include <QScopeGuard>

using namespace backreel;
using namespace backreel::test;

namespace {

// When the first loud sample (the first channel at 0.1 or more) at or after a time was recorded, on
// the monotonic clock at kToneRate.
std::optional<std::int64_t> firstLoudAt(const std::vector<AudioChunk>& audio, std::int64_t from) {
    for (const AudioChunk& chunk : audio) {
        const std::int64_t start = std::llround(chunk.presentationTime.seconds() * kToneRate);
        const std::span<const float> samples = chunk.view();
        for (std::int64_t frame = std::max<std::int64_t>(from - start, 0); frame < chunk.frameCount();
             ++frame) {
            if (std::fabs(samples[static_cast<std::size_t>(frame * chunk.channels)]) >= 0.1f) {
                return start + frame;
            }
        }
    }
    return std::nullopt;
}

} // namespace

TEST(AudioServerFailure, ToneBeforeAndAfterARestartWithSilenceBetween) {
    BACKREEL_REQUIRE_DESKTOP("pulseaudio", "pactl", "ffmpeg");
    PrivatePulseServer server;
    if (const std::optional<std::string> missing = server.start()) {
        GTEST_SKIP() << "no private PulseAudio server: " << *missing;
    }
    // The platform, made next, talks to that server; later tests to the desktop's again.
    const auto restore = qScopeGuard([saved = qgetenv("PULSE_SERVER")] { qputenv("PULSE_SERVER", saved); });
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.server()));
    QTemporaryDir dir;
    const QString location = dir.filePath(QStringLiteral("clip.mp4"));
    DesktopRecorder recorder;
    recorder.dialog->answers.push_back(location);
    RecordingManager& manager = recorder.manager;
    QCoro::waitFor(manager.refreshDisplays());
    ASSERT_FALSE(manager.availableDisplays().empty());
    // A small picture: the sound is what is checked.
    manager.setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 320, 180), manager.availableDisplays().front()));
    std::vector<RecordingStatus> statuses;
    QObject::connect(&manager, &RecordingManager::statusChanged,
                     [&] { statuses.push_back(manager.status()); });

    ASSERT_NO_FATAL_FAILURE(recorder.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.session()->audioStore().count() >= 20; }, 5000));
    const std::optional<std::int64_t> before = playToneNow(server.server().c_str());
    ASSERT_TRUE(before);

    server.kill();
    const auto killed = std::chrono::steady_clock::now();
    const RecordingStatus lost =
        RecordingStatus::buffering(QStringLiteral("no system audio: the audio server went away"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.status() == lost; }, 3000))
        << manager.status().note().toStdString();
    QTest::qWait(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      killed + std::chrono::seconds(1) - std::chrono::steady_clock::now())
                                      .count()));
    ASSERT_EQ(server.start(), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.status() == RecordingStatus::buffering(); }, 6000))
        << manager.status().note().toStdString();
    const std::optional<std::int64_t> after = playToneNow(server.server().c_str());
    ASSERT_TRUE(after);
    QTest::qWait(200);
    QCoro::waitFor(manager.stopAndSave());
    ASSERT_EQ(manager.status(), RecordingStatus::saved(QUrl::fromLocalFile(location)))
        << manager.status().message().toStdString();
    // Buffering, the loss while it lasted, buffering again; then saving and saved.
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], RecordingStatus::buffering());
    EXPECT_EQ(statuses[1], lost);
    EXPECT_EQ(statuses[2], RecordingStatus::buffering());

    // The recorded audio has each tone where it was played.
    ASSERT_EQ(recorder.saveFlow->clips.size(), 1u);
    const Clip& clip = recorder.saveFlow->clips.front();
    ASSERT_FALSE(clip.video.empty() || clip.audio.empty());
    const std::optional<std::int64_t> firstRecorded = firstLoudAt(clip.audio, *before - kToneRate / 10);
    const std::optional<std::int64_t> secondRecorded = firstLoudAt(clip.audio, *after - kToneRate / 10);
    ASSERT_TRUE(firstRecorded && secondRecorded);
    EXPECT_LT(std::abs(*firstRecorded - *before), kToneRate / 20);
    EXPECT_LT(std::abs(*secondRecorded - *after), kToneRate / 20) << "the tone after the gap is out of sync";

    // The movie has both tones at their distance, with silence between.
    const std::vector<float> sound = decodeAudio(location);
    const std::span<const float> all(sound);
    const auto inMovie = [&](std::int64_t time) {
        return static_cast<std::size_t>(std::llround(
            (MediaTime(time, kToneRate) - clip.video.front().presentationTime).seconds() * kToneRate));
    };
    const auto toneLength = static_cast<std::size_t>(kToneSeconds * kToneRate);
    const std::size_t margin = kToneRate / 10;
    const std::size_t first = inMovie(*firstRecorded);
    const std::size_t gapEnd = inMovie(*secondRecorded) - margin;
    ASSERT_GT(first, margin);
    ASSERT_GT(gapEnd, first + toneLength + margin) << "a gap between the tones";
    ASSERT_GT(sound.size(), gapEnd + 2 * margin + toneLength);
    const std::size_t firstHeard = first - margin + firstLoud(all.subspan(first - margin), 0.1f);
    const std::size_t secondHeard = gapEnd + firstLoud(all.subspan(gapEnd), 0.1f);
    EXPECT_NEAR(static_cast<double>(secondHeard - firstHeard), static_cast<double>(*after - *before),
                kToneRate / 50.0);
    EXPECT_NEAR(frequencyOf(all.subspan(firstHeard + margin, toneLength - 2 * margin), kToneRate), 440, 2);
    EXPECT_NEAR(frequencyOf(all.subspan(secondHeard + margin, toneLength - 2 * margin), kToneRate), 440, 2);
    EXPECT_LT(rootMeanSquare(
                  all.subspan(firstHeard + toneLength + margin, gapEnd - firstHeard - toneLength - margin)),
              0.001)
        << "the gap is silent";
}
