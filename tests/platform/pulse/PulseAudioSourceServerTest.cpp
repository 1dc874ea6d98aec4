#include "platform/pulse/AudioCollector.h"
#include "platform/pulse/PrivatePulseServer.h"
#include "platform/pulse/PulseAudioSource.h"
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
        ASSERT_EQ(source_.start(kStereo, collector_.handler(), collector_.failureHandler()), std::nullopt);
        ASSERT_TRUE(collector_.waitForFrames(960));
    }

    bool waitUntilRecording(const QString& source) const {
        return waitUntil([&] { return server_.recordedSource() == source; });
    }

    PrivatePulseServer server_;
    AudioCollector collector_;
    PulseAudioSource source_{server_.server()};
};

} // namespace

TEST_F(PulseAudioSourceOwnServer, FollowsTheDefaultSink) {
    if (!haveProgram(QStringLiteral("sox")) || !haveProgram(QStringLiteral("pacat"))) {
        GTEST_SKIP() << "sox and pacat are needed to play a test tone";
    }
    ASSERT_TRUE(waitUntilRecording(QStringLiteral("first.monitor")));
    std::string module;
    ASSERT_TRUE(server_.pactl(
        {"load-module", "module-null-sink", "sink_name=second", "rate=48000", "channels=2", "norewinds=1"},
        &module));
    ASSERT_TRUE(server_.pactl({"set-default-sink", "second"}));
    ASSERT_TRUE(waitUntilRecording(QStringLiteral("second.monitor")));

    // The tone plays on the new default sink only; it reaches us only if we moved there.
    collector_.clear();
    ASSERT_TRUE(playTone(0.5, server_.server()));
    ASSERT_TRUE(collector_.waitForFrames(4800));
    const std::vector<float> recorded = collector_.channel(0);
    const std::span<const float> tone = loudStretch(recorded, 9600);
    ASSERT_FALSE(tone.empty()) << "no tone in " << recorded.size() << " recorded frames";
    EXPECT_NEAR(zeroCrossingFrequency(tone, 48000), 440, 3);

    // The default sink goes away: the server falls back to the first sink, and so do we.
    ASSERT_TRUE(server_.pactl({"unload-module", QString::fromStdString(module).trimmed().toStdString()}));
    ASSERT_TRUE(waitUntilRecording(QStringLiteral("first.monitor")));
    EXPECT_TRUE(collector_.waitForFrames(4800));
    EXPECT_TRUE(collector_.failures().empty());
    const std::vector<ReceivedAudio> received = collector_.received();
    for (std::size_t i = 1; i < received.size(); ++i) {
        EXPECT_GE(received[i].chunk.presentationTime, received[i - 1].chunk.presentationTime);
    }
}

TEST_F(PulseAudioSourceOwnServer, FailsWhenNoOutputIsLeft) {
    ASSERT_TRUE(server_.pactl({"unload-module", "module-null-sink"}));
    ASSERT_TRUE(collector_.waitForFailure(3s));
    const std::vector<Error> failures = collector_.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].domain, QStringLiteral("PulseAudio"));
    EXPECT_TRUE(failures[0].description.startsWith(QStringLiteral("There is no audio output to record: ")))
        << failures[0].description.toStdString();
}

TEST_F(PulseAudioSourceOwnServer, ReportsTheServerGoingAwayOnceAndDeliversNothingAfter) {
    server_.kill();
    ASSERT_TRUE(collector_.waitForFailure(2s));
    EXPECT_FALSE(waitUntil([&] { return collector_.failures().size() > 1; }, 200ms));
    const std::vector<Error> failures = collector_.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].domain, QStringLiteral("PulseAudio"));
    EXPECT_NE(failures[0].code, 0);
    EXPECT_TRUE(failures[0].description.startsWith(QStringLiteral("The audio server went away: ")))
        << failures[0].description.toStdString();
    EXPECT_EQ(collector_.received().size(), collector_.receivedAtFailure());
}
