// The audio server dies in the middle of a real recording and comes back: the user is told while
// it is away, and the saved movie has the sound before and after the gap where it was played,
// with silence between.

#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "platform/Platform.h"
#include "platform/pulse/PulseTestSupport.h"
#include "support/FfmpegTestMedia.h"
#include "support/SaveFlowStandIn.h"
#include "support/ToneAnalysis.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <pulse/simple.h>
#include <QStandardPaths>
#include <QTest>

using namespace backreel;
using namespace backreel::test;

namespace {

constexpr int kRate = 48000;
constexpr double kToneSeconds = 0.4;

struct SimpleStreamDeleter {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};

// Plays the test tone (440 Hz, kTonePeak) on the server's default sink, buffered enough to play
// without a break on a slow machine, and returns when its first frame was played, on the
// monotonic clock at kRate.
std::optional<std::int64_t> playToneNow(const std::string& server) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 2};
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(200000, &format));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    const std::unique_ptr<pa_simple, SimpleStreamDeleter> stream(
        pa_simple_new(server.c_str(), "Backreel test", PA_STREAM_PLAYBACK, nullptr, "Tone", &format, nullptr,
                      &buffer, &error));
    if (!stream) {
        return std::nullopt;
    }
    const auto frames = static_cast<std::int64_t>(kToneSeconds * kRate);
    std::vector<float> tone;
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        const auto value = static_cast<float>(
            kTonePeak * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(frame) / kRate));
        tone.insert(tone.end(), {value, value});
    }
    // The write returns once the last of the tone is queued; it is heard the stream's latency later.
    if (pa_simple_write(stream.get(), tone.data(), tone.size() * sizeof(float), &error) < 0) {
        return std::nullopt;
    }
    const std::int64_t now = monotonicNowFrames(kRate);
    const pa_usec_t latency = pa_simple_get_latency(stream.get(), &error);
    if (latency == static_cast<pa_usec_t>(-1) || pa_simple_drain(stream.get(), &error) < 0) {
        return std::nullopt;
    }
    return now + framesForMicroseconds(latency, kRate) - frames;
}

// When the first loud sample (the first channel at 0.1 or more) at or after a time was recorded, on
// the monotonic clock at kRate.
std::optional<std::int64_t> firstLoudAt(const std::vector<AudioChunk>& audio, std::int64_t from) {
    for (const AudioChunk& chunk : audio) {
        const std::int64_t start = std::llround(chunk.presentationTime.seconds() * kRate);
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

// PULSE_SERVER for the test's time.
class ServerVariable {
public:
    explicit ServerVariable(const std::string& server)
        : saved_(qgetenv("PULSE_SERVER")) {
        qputenv("PULSE_SERVER", QByteArray::fromStdString(server));
    }
    ~ServerVariable() { qputenv("PULSE_SERVER", saved_); }

private:
    QByteArray saved_;
};

} // namespace

TEST(AudioServerFailure, ToneBeforeAndAfterARestartWithSilenceBetween) {
#if defined(__SANITIZE_THREAD__)
    // Under ThreadSanitizer the audio handler falls so far behind real time that fragments pile
    // up on one time stamp, and the movie's sound is no longer where it was played; the plain and
    // ASan builds run this test. (Its threads are still checked by the pulse source's tests.)
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the virtual desktop (scripts/virtual-desktop)";
    }
    for (const char* tool : {"pulseaudio", "pactl", "ffmpeg"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    PrivatePulseServer server;
    if (const std::optional<std::string> missing = server.start()) {
        GTEST_SKIP() << "no private PulseAudio server: " << *missing;
    }
    const ServerVariable variable(server.server()); // before the platform is made
    QTemporaryDir dir;
    const QString location = dir.filePath(QStringLiteral("clip.mp4"));
    Platform platform = loadPlatform();
    auto saveFlow = std::make_shared<KeepingSaveFlow>(std::make_shared<DesktopSaveFlow>(
        std::make_shared<FixedLocation>(location),
        MovieWriterServices{platform.movieFiles, platform.movieProbe}, nullptr));
    RecordingManager manager(platform, saveFlow, std::make_shared<RecorderSettings>());
    QCoro::waitFor(manager.refreshDisplays());
    ASSERT_FALSE(manager.availableDisplays().empty());
    // A small picture: the sound is what is checked.
    manager.setCaptureTarget(
        CaptureTarget::region(QRectF(0, 0, 320, 180), manager.availableDisplays().front()));
    std::vector<RecordingStatus> statuses;
    QObject::connect(&manager, &RecordingManager::statusChanged,
                     [&] { statuses.push_back(manager.status()); });

    QCoro::waitFor(manager.startRecording());
    ASSERT_EQ(manager.status(), RecordingStatus::buffering()) << manager.status().message().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.session()->audioStore().count() >= 20; }, 5000));
    const std::optional<std::int64_t> before = playToneNow(server.server());
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
    const std::optional<std::int64_t> after = playToneNow(server.server());
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
    ASSERT_EQ(saveFlow->clips.size(), 1u);
    const Clip& clip = saveFlow->clips.front();
    ASSERT_FALSE(clip.video.empty() || clip.audio.empty());
    const std::optional<std::int64_t> firstRecorded = firstLoudAt(clip.audio, *before - kRate / 10);
    const std::optional<std::int64_t> secondRecorded = firstLoudAt(clip.audio, *after - kRate / 10);
    ASSERT_TRUE(firstRecorded && secondRecorded);
    EXPECT_LT(std::abs(*firstRecorded - *before), kRate / 20);
    EXPECT_LT(std::abs(*secondRecorded - *after), kRate / 20) << "the tone after the gap is out of sync";

    // The movie has both tones at their distance, with silence between.
    const std::vector<float> sound = decodeAudio(location);
    const std::span<const float> all(sound);
    const auto inMovie = [&](std::int64_t time) {
        return static_cast<std::size_t>(
            std::llround((MediaTime(time, kRate) - clip.video.front().presentationTime).seconds() * kRate));
    };
    const auto toneLength = static_cast<std::size_t>(kToneSeconds * kRate);
    const std::size_t margin = kRate / 10;
    const std::size_t first = inMovie(*firstRecorded);
    const std::size_t gapEnd = inMovie(*secondRecorded) - margin;
    ASSERT_GT(first, margin);
    ASSERT_GT(gapEnd, first + toneLength + margin) << "a gap between the tones";
    ASSERT_GT(sound.size(), gapEnd + 2 * margin + toneLength);
    const std::size_t firstHeard = first - margin + firstLoud(all.subspan(first - margin), 0.1f);
    const std::size_t secondHeard = gapEnd + firstLoud(all.subspan(gapEnd), 0.1f);
    EXPECT_NEAR(static_cast<double>(secondHeard - firstHeard), static_cast<double>(*after - *before),
                kRate / 50.0);
    EXPECT_NEAR(frequencyOf(all.subspan(firstHeard + margin, toneLength - 2 * margin), kRate), 440, 2);
    EXPECT_NEAR(frequencyOf(all.subspan(secondHeard + margin, toneLength - 2 * margin), kRate), 440, 2);
    EXPECT_LT(rootMeanSquare(
                  all.subspan(firstHeard + toneLength + margin, gapEnd - firstHeard - toneLength - margin)),
              0.001)
        << "the gap is silent";
}
