#include "platform/pulse/PrivatePulseServer.h"
#include "platform/pulse/PulseAudioSource.h"
#include "platform/pulse/PulseTestEnvironment.h"
#include "platform/pulse/SampleCollector.h"
#include "platform/pulse/ToneAnalysis.h"

#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::test;
using namespace std::chrono_literals;

namespace {

constexpr SystemAudioFormat kStereo{48000, 2};

// These tests change the server's default sink or kill the server, so each runs its own
// PulseAudio daemon rather than the session's, which other tests share.
class PulseAudioSourceOwnServer : public testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<QString> why = server_.start("first")) {
            GTEST_SKIP() << "no private PulseAudio server: " << why->toStdString();
        }
    }

    // Polls until our record stream reads from the named source.
    bool waitUntilRecording(const QString& source) const {
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (server_.recordedSource() == source) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    PrivatePulseServer server_;
};

} // namespace

TEST_F(PulseAudioSourceOwnServer, FollowsTheDefaultSink) {
    if (!haveProgram(QStringLiteral("sox")) || !haveProgram(QStringLiteral("pacat"))) {
        GTEST_SKIP() << "sox and pacat are needed to play a test tone";
    }
    SampleCollector collector;
    PulseAudioSource source(server_.server());
    ASSERT_EQ(source.start(kStereo, collector.sampleHandler(), collector.failureHandler()), std::nullopt);
    ASSERT_TRUE(waitUntilRecording(QStringLiteral("first.monitor")));

    std::string module;
    ASSERT_TRUE(server_.pactl(
        {"load-module", "module-null-sink", "sink_name=second", "rate=48000", "channels=2", "norewinds=1"},
        &module));
    ASSERT_TRUE(server_.pactl({"set-default-sink", "second"}));
    ASSERT_TRUE(waitUntilRecording(QStringLiteral("second.monitor")));

    // The tone plays on the new default sink only; it reaches us only if we moved there.
    collector.clear();
    ASSERT_TRUE(playTone(0.5, server_.server()));
    ASSERT_TRUE(collector.waitForFrames(4800));
    const std::vector<float> recorded = collector.firstChannel();
    const std::span<const float> tone = loudStretch(recorded, 9600);
    ASSERT_FALSE(tone.empty()) << "no tone in " << recorded.size() << " recorded frames";
    EXPECT_GT(tonePower(tone, 440, 48000), 100 * tonePower(tone, 330, 48000));
    EXPECT_NEAR(zeroCrossingFrequency(tone, 48000), 440, 3);

    // The default sink goes away: the server falls back to the first sink, and so do we.
    ASSERT_TRUE(server_.pactl({"unload-module", QString::fromStdString(module).trimmed().toStdString()}));
    ASSERT_TRUE(waitUntilRecording(QStringLiteral("first.monitor")));
    EXPECT_TRUE(collector.waitForFrames(4800));
    EXPECT_TRUE(collector.failures().empty());

    // PTS stay monotonic across both moves.
    const std::vector<DeliveredSample> samples = collector.samples();
    for (std::size_t i = 1; i < samples.size(); ++i) {
        EXPECT_GE(samples[i].timing[0].presentationTimeStamp, samples[i - 1].timing[0].presentationTimeStamp);
    }
}

TEST_F(PulseAudioSourceOwnServer, FailsWhenNoOutputIsLeft) {
    SampleCollector collector;
    PulseAudioSource source(server_.server());
    ASSERT_EQ(source.start(kStereo, collector.sampleHandler(), collector.failureHandler()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(960));
    ASSERT_TRUE(server_.pactl({"unload-module", "module-null-sink"}));
    ASSERT_TRUE(collector.waitForFailure(3s));
    const std::vector<Error> failures = collector.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].domain, QStringLiteral("PulseAudio"));
    EXPECT_TRUE(failures[0].description.startsWith(QStringLiteral("There is no audio output to record")))
        << failures[0].description.toStdString();
}

TEST_F(PulseAudioSourceOwnServer, ReportsTheServerGoingAwayOnce) {
    SampleCollector collector;
    PulseAudioSource source(server_.server());
    ASSERT_EQ(source.start(kStereo, collector.sampleHandler(), collector.failureHandler()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(960));

    server_.kill();
    ASSERT_TRUE(collector.waitForFailure(2s));
    const std::size_t atFailure = collector.samplesAtFailure();
    std::this_thread::sleep_for(200ms);
    const std::vector<Error> failures = collector.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].domain, QStringLiteral("PulseAudio"));
    EXPECT_NE(failures[0].code, 0);
    EXPECT_TRUE(failures[0].description.startsWith(QStringLiteral("The audio server went away: ")))
        << failures[0].description.toStdString();
    EXPECT_EQ(collector.sampleCount(), atFailure); // nothing delivered after the failure
    source.stop();
}
