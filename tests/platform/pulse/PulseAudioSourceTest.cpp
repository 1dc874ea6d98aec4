#include "platform/pulse/PulseAudioSource.h"

#include "platform/pulse/AudioCollector.h"
#include "platform/pulse/PulseAudioService.h"
#include "platform/pulse/PulseTestEnvironment.h"
#include "platform/pulse/ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <QLocalServer>
#include <QTemporaryDir>

using namespace backreel;
using namespace backreel::test;
using namespace std::chrono_literals;

namespace {

constexpr SystemAudioFormat kStereo{48000, 2};
using Clock = std::chrono::steady_clock;

// Records from the session's server (the virtual desktop's "virt" sink).
class PulseAudioSourceSession : public testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<QString> missing = sessionServerMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
    }
};

// Starts a source on a server that is not there or never answers: the error, and how long it took.
std::pair<MaybeError, Clock::duration> startAgainst(const std::string& server) {
    AudioCollector collector;
    PulseAudioSource source(server);
    const Clock::time_point before = Clock::now();
    MaybeError error = source.start(kStereo, collector.handler(), collector.failureHandler());
    const Clock::duration elapsed = Clock::now() - before;
    EXPECT_EQ(collector.totalFrames(), 0);
    EXPECT_TRUE(collector.failures().empty());
    return {std::move(error), elapsed};
}

} // namespace

TEST_F(PulseAudioSourceSession, RecordsThePlayedToneAtItsPitchAndLevelOnTheMonotonicClock) {
    if (!haveProgram(QStringLiteral("sox")) || !haveProgram(QStringLiteral("pacat"))) {
        GTEST_SKIP() << "sox and pacat are needed to play a test tone";
    }
    AudioCollector collector;
    std::unique_ptr<SystemAudioSource> source = PulseAudioService().makeSource();
    ASSERT_EQ(source->start(kStereo, collector.handler(), collector.failureHandler()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(4800));
    ASSERT_TRUE(playTone(1.0));
    ASSERT_TRUE(collector.waitForFrames(4800));
    source->stop();

    for (const int channel : {0, 1}) {
        const std::vector<float> recorded = collector.channel(channel);
        const std::span<const float> tone = loudStretch(recorded, 24000);
        ASSERT_FALSE(tone.empty()) << "no tone in " << recorded.size() << " recorded frames";
        EXPECT_NEAR(zeroCrossingFrequency(tone, 48000), 440, 3);
        EXPECT_NEAR(rootMeanSquare(tone), kTonePeak / std::numbers::sqrt2, 0.04);
    }

    // Fragments of about 10 ms, timed close behind the clock at arrival, never backwards, and end
    // to end but where the estimates strayed more than the timeline tolerates (a loaded machine).
    const std::vector<ReceivedAudio> received = collector.received();
    std::vector<std::int64_t> lengths;
    std::size_t followOn = 0;
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].chunk.channels, 2);
        EXPECT_EQ(received[i].chunk.sampleRate, 48000);
        lengths.push_back(received[i].chunk.frameCount());
        const MediaTime pts = received[i].chunk.presentationTime;
        EXPECT_LT(std::fabs((received[i].receivedAt - pts).seconds()), 0.05) << "chunk " << i;
        if (i > 0) {
            const AudioChunk& previous = received[i - 1].chunk;
            EXPECT_GE(pts, previous.presentationTime) << "chunk " << i;
            followOn += pts == previous.presentationTime + previous.duration() ? 1u : 0u;
        }
    }
    EXPECT_GE(followOn, received.size() * 9 / 10);
    std::sort(lengths.begin(), lengths.end());
    EXPECT_NEAR(static_cast<double>(lengths.at(lengths.size() / 2)), 480, 240);
}

TEST_F(PulseAudioSourceSession, NoHandlerRunsAfterStopAndItStartsAgain) {
    AudioCollector first;
    AudioCollector second;
    first.setHandlerDelay(3ms); // stop() lands in the middle of a call more often than not
    {
        PulseAudioSource source;
        ASSERT_EQ(source.start(kStereo, first.handler(), first.failureHandler()), std::nullopt);
        ASSERT_TRUE(first.waitForFrames(2400));
        // One recording at a time.
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

TEST(PulseAudioSource, RejectsAFormatItCannotRecord) {
    AudioCollector collector;
    PulseAudioSource source;
    const MaybeError error = source.start({48000, 9}, collector.handler(), collector.failureHandler());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, QStringLiteral("Backreel"));
    EXPECT_EQ(error->description,
              QStringLiteral("Cannot record system audio with 9 channels; between 1 and 8 "
                             "channels are supported."));
}

TEST(PulseAudioSource, FailsFastWithTheServersNameWhenNoneListens) {
    const auto [error, elapsed] = startAgainst("unix:/nonexistent/backreel-test/native");
    ASSERT_TRUE(error);
    EXPECT_LT(elapsed, 2s);
    EXPECT_EQ(error->domain, QStringLiteral("PulseAudio"));
    EXPECT_NE(error->code, 0);
    EXPECT_EQ(
        error->description,
        QStringLiteral("Could not connect to the audio server (unix:/nonexistent/backreel-test/native): "
                       "Connection refused"));

    // Without a server of its own the source takes PULSE_SERVER's, and names it.
    const std::optional<QByteArray> saved =
        qEnvironmentVariableIsSet("PULSE_SERVER") ? std::optional(qgetenv("PULSE_SERVER")) : std::nullopt;
    qputenv("PULSE_SERVER", "unix:/nonexistent/backreel-env/native");
    const MaybeError fromEnvironment = startAgainst({}).first;
    saved ? qputenv("PULSE_SERVER", *saved) : qunsetenv("PULSE_SERVER");
    ASSERT_TRUE(fromEnvironment);
    EXPECT_EQ(fromEnvironment->description,
              QStringLiteral("Could not connect to the audio server (unix:/nonexistent/backreel-env/native): "
                             "Connection refused"));
}

TEST(PulseAudioSource, GivesUpOnAServerThatNeverAnswers) {
    // A socket that accepts connections (the kernel does, into the backlog) but never speaks.
    QTemporaryDir dir;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(dir.filePath(QStringLiteral("silent"))));
    const auto [error, elapsed] = startAgainst("unix:" + silent.fullServerName().toStdString());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, QStringLiteral("PulseAudio"));
    EXPECT_TRUE(error->description.startsWith(
        QStringLiteral("The audio server (unix:%1) did not start recording within 3000 ms: ")
            .arg(silent.fullServerName())))
        << error->description.toStdString();
    EXPECT_GE(elapsed, 2900ms);
    EXPECT_LT(elapsed, 5s);
}
