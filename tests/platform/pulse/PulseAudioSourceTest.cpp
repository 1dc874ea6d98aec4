#include "platform/pulse/PulseAudioSource.h"

#include "platform/pulse/PulseTestSupport.h"
#include "support/ToneAnalysis.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numbers>
#include <QLocalServer>

using namespace backreel;
using namespace backreel::test;
using namespace std::chrono_literals;

namespace {

constexpr SystemAudioFormat kStereo{48000, 2};

// Records from a server of the test's own, which the test may change or kill.
class PulseAudioSourceTest : public testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<std::string> missing = server_.start()) {
            GTEST_SKIP() << "no private PulseAudio server: " << *missing;
        }
        ASSERT_EQ(source_.start(kStereo, collector_.handler(), collector_.failureHandler()), std::nullopt);
        ASSERT_TRUE(collector_.waitForFrames(960));
    }
    // What was recorded of a tone played now on the server's default sink: its first channel from
    // 50 ms after it started, for length frames; empty if there was no tone.
    std::vector<float> recordTone(double seconds, std::size_t length) {
        const auto before = static_cast<std::size_t>(collector_.totalFrames());
        EXPECT_TRUE(playTone(seconds, server_.server()));
        EXPECT_TRUE(collector_.waitForFrames(4800));
        const std::vector<float> recorded = collector_.channel(0);
        const std::span<const float> tone = loudStretch(std::span(recorded).subspan(before), length);
        return {tone.begin(), tone.end()};
    }
    // One failure, in the audio server's words, and no audio after it.
    void expectOneFailure(const char* start) {
        ASSERT_TRUE(waitUntil([&] { return !collector_.failures().empty(); }, 3s));
        EXPECT_FALSE(collector_.waitForFrames(1, 200ms));
        const std::vector<Error> failures = collector_.failures();
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].domain, QStringLiteral("PulseAudio"));
        EXPECT_TRUE(failures[0].description.startsWith(QLatin1String(start)))
            << failures[0].description.toStdString();
    }

    PrivatePulseServer server_;
    AudioCollector collector_;
    PulseAudioSource source_{server_.server()};
};

} // namespace

TEST_F(PulseAudioSourceTest, RecordsThePlayedToneAtItsPitchAndLevelOnTheMonotonicClock) {
    const std::vector<float> tone = recordTone(1.0, 24000);
    source_.stop();
    ASSERT_FALSE(tone.empty()) << "no tone recorded";
    EXPECT_NEAR(frequencyOf(tone, 48000), 440, 2);
    EXPECT_NEAR(rootMeanSquare(tone), kTonePeak / std::numbers::sqrt2, 0.04);
    EXPECT_TRUE(collector_.channel(0) == collector_.channel(1)) << "the tone on both channels";

    // Fragments of about 10 ms in the asked-for format, stamped close to their arrival, never
    // backwards, and mostly end to end (a loaded machine strays beyond the timeline's tolerance).
    const std::vector<ReceivedAudio> received = collector_.received();
    std::vector<std::int64_t> lengths;
    std::size_t followOn = 0;
    for (std::size_t i = 0; i < received.size(); ++i) {
        const AudioChunk& chunk = received[i].chunk;
        EXPECT_TRUE(chunk.channels == 2 && chunk.sampleRate == 48000);
        lengths.push_back(chunk.frameCount());
        EXPECT_LT(std::fabs((received[i].receivedAt - chunk.presentationTime).seconds()), 0.05) << i;
        if (i > 0) {
            const AudioChunk& previous = received[i - 1].chunk;
            EXPECT_GE(chunk.presentationTime, previous.presentationTime) << "chunk " << i;
            followOn += chunk.presentationTime == previous.presentationTime + previous.duration() ? 1u : 0u;
        }
    }
    EXPECT_GE(followOn, received.size() * 9 / 10);
    std::sort(lengths.begin(), lengths.end());
    EXPECT_NEAR(static_cast<double>(lengths.at(lengths.size() / 2)), 480, 240);
}

TEST_F(PulseAudioSourceTest, FollowsTheDefaultSinkAndFallsBackWhenItGoes) {
    std::string module;
    ASSERT_TRUE(server_.pactl(
        {"load-module", "module-null-sink", "sink_name=second", "rate=48000", "channels=2", "norewinds=1"},
        &module));
    ASSERT_TRUE(server_.pactl({"set-default-sink", "second"}));
    // The tone plays on the new default sink only; it reaches us only if we moved there.
    EXPECT_NEAR(frequencyOf(recordTone(0.6, 9600), 48000), 440, 2);
    ASSERT_TRUE(server_.pactl({"unload-module", QString::fromStdString(module).trimmed().toStdString()}));
    EXPECT_NEAR(frequencyOf(recordTone(0.6, 9600), 48000), 440, 2) << "back on the first sink";
    EXPECT_TRUE(collector_.failures().empty());
    const std::vector<ReceivedAudio> received = collector_.received();
    for (std::size_t i = 1; i < received.size(); ++i) {
        EXPECT_GE(received[i].chunk.presentationTime, received[i - 1].chunk.presentationTime);
    }
}

TEST_F(PulseAudioSourceTest, NoHandlerRunsAfterStopAndItStartsAgain) {
    source_.stop(); // the sources below record alone
    AudioCollector first;
    AudioCollector second;
    first.handlerDelay = 3ms; // stop() lands in the middle of a call more often than not
    {
        PulseAudioSource source(server_.server());
        ASSERT_EQ(source.start(kStereo, first.handler(), first.failureHandler()), std::nullopt);
        ASSERT_TRUE(first.waitForFrames(2400));
        const MaybeError twice = source.start(kStereo, second.handler(), second.failureHandler());
        ASSERT_TRUE(twice);
        EXPECT_EQ(twice->description, QStringLiteral("The system audio is already being recorded."));

        source.stop();
        source.stop(); // again: nothing happens
        EXPECT_FALSE(first.waitForFrames(1, 150ms));
        ASSERT_EQ(source.start(kStereo, second.handler(), second.failureHandler()), std::nullopt);
        ASSERT_TRUE(second.waitForFrames(960));
    } // destroyed while recording
    EXPECT_FALSE(second.waitForFrames(1, 150ms));
    EXPECT_TRUE(first.failures().empty());
}

TEST_F(PulseAudioSourceTest, FailsOnceWhenNoOutputIsLeft) {
    ASSERT_TRUE(server_.pactl({"unload-module", "module-null-sink"}));
    expectOneFailure("There is no audio output to record: ");
}

TEST_F(PulseAudioSourceTest, FailsOnceWhenTheServerGoesAway) {
    server_.kill();
    expectOneFailure("The audio server went away: ");
}

TEST(PulseAudioSource, StartFailsSoonWithTheReason) {
    QTemporaryDir dir;
    QLocalServer silent; // accepts connections (the kernel does, into the backlog) but never speaks
    ASSERT_TRUE(silent.listen(dir.filePath(QStringLiteral("silent"))));
    const QString silentServer = QStringLiteral("unix:") + silent.fullServerName();
    const struct {
        QString server;
        int channels;
        QString error; // how the message starts
        std::chrono::milliseconds within;
    } cases[] = {
        {{}, 9, QStringLiteral("Cannot record system audio with 9 channels; between 1 and 8 channels"), 1s},
        {silentServer, 2,
         QStringLiteral("The audio server (%1) did not start recording within 3000 ms: ").arg(silentServer),
         5s}};
    for (const auto& failure : cases) {
        AudioCollector collector;
        PulseAudioSource source(failure.server.toStdString());
        const auto before = std::chrono::steady_clock::now();
        const MaybeError error =
            source.start({48000, failure.channels}, collector.handler(), collector.failureHandler());
        EXPECT_LT(std::chrono::steady_clock::now() - before, failure.within);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->description.startsWith(failure.error)) << error->description.toStdString();
        EXPECT_EQ(collector.totalFrames(), 0);
        EXPECT_TRUE(collector.failures().empty());
    }
}
