#include "platform/pulse/PulseAudioSource.h"

#include "platform/ffmpeg/FfmpegAudioCodec.h"
#include "platform/pulse/PulseInventory.h"
#include "platform/pulse/PulseSoundPlayer.h"
#include "platform/pulse/PulseTestSupport.h"
#include "support/ToneAnalysis.h"

#include <gtest/gtest.h>
#include <numbers>
#include <QLocalServer>

using namespace backreel;
using namespace backreel::test;
using namespace std::chrono_literals;

namespace {

constexpr AudioFormat kStereo{48000, 2};

// Records from a server of the test's own, which the test may change or kill.
class PulseAudioSourceTest : public testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<std::string> missing = server_.start()) {
            GTEST_SKIP() << "no private PulseAudio server: " << *missing;
        }
        ASSERT_EQ(source_.start(kStereo, collector_.handler(), collector_.stateHandler()), std::nullopt);
        ASSERT_TRUE(collector_.waitForFrames(960));
    }
    // A tone played now, as recorded: length frames of its first channel from 50 ms in, or nothing.
    std::vector<float> recordTone(double seconds, std::size_t length) {
        const auto before = static_cast<std::size_t>(collector_.totalFrames());
        ChildProcess player;
        EXPECT_TRUE(startPlayer(player, 440, "sox", server_.server(), seconds) && player.waitForSuccess(10s));
        EXPECT_TRUE(collector_.waitForFrames(4800));
        const std::vector<float> recorded = collector_.channel(0);
        const std::span<const float> tone = loudStretch(std::span(recorded).subspan(before), length);
        return {tone.begin(), tone.end()};
    }
    // The loss is told once and no audio comes while it lasts; after bringBack(), the return is told.
    static void expectLossUntil(AudioCollector& collector, const QString& text,
                                const std::function<void()>& bringBack) {
        ASSERT_TRUE(waitUntil([&] { return !collector.states().empty(); }, 4s));
        const std::int64_t before = collector.totalFrames();
        std::this_thread::sleep_for(800ms); // two retries at least
        EXPECT_EQ(collector.totalFrames(), before);
        std::vector<std::optional<Error>> states = collector.states();
        ASSERT_EQ(states.size(), 1u);
        ASSERT_TRUE(states[0]);
        EXPECT_TRUE(states[0]->description.startsWith(text)) << states[0]->description.toStdString();

        bringBack();
        ASSERT_TRUE(waitUntil([&] { return collector.states().size() >= 2; }, 5s)) << "no return told";
        EXPECT_TRUE(collector.waitForFrames(960));
        states = collector.states();
        EXPECT_EQ(states.size(), 2u);
        EXPECT_FALSE(states[1]) << states[1]->description.toStdString();
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

    // Fragments of about 10 ms stamped close to their arrival, never backwards, mostly end to end.
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

// One application's sound is its own, also when it plays again; the inventory lists who plays and
// the microphones; a microphone that is not there is lost, not taken from an output's monitor.
TEST_F(PulseAudioSourceTest, OneApplicationAndTheMicrophonesAreWhatTheySay) {
    ChildProcess low;
    ChildProcess high;
    ASSERT_TRUE(startPlayer(low, 440, "low", server_.server()) &&
                startPlayer(high, 880, "high", server_.server()));
    ASSERT_TRUE(waitUntil(
        [&] {
            const Expected<AudioInventory> inventory = readAudioInventory(server_.server(), 1s);
            return inventory && inventory.value().applications.size() == 2;
        },
        5s));
    AudioCollector heard;
    PulseAudioSource application(server_.server(), {AudioInput::Kind::application, "high"});
    ASSERT_FALSE(application.start(kStereo, heard.handler(), heard.stateHandler()));
    ASSERT_TRUE(heard.waitForFrames(24000));
    EXPECT_NEAR(frequencyOf(loudStretch(heard.channel(0), 9600), 48000), 880, 2) << "only its own tone";
    high.kill();
    ASSERT_TRUE(startPlayer(high, 660, "high", server_.server()));
    const std::size_t before = heard.channel(0).size();
    ASSERT_TRUE(heard.waitForFrames(24000));
    const std::vector<float> next = heard.channel(0);
    EXPECT_NEAR(frequencyOf(loudStretch(std::span(next).subspan(before), 9600), 48000), 660, 2)
        << "its next stream";
    EXPECT_TRUE(heard.states().empty()) << "an application that stops playing is no loss";
    application.stop();

    ASSERT_TRUE(
        server_.pactl({"load-module", "module-remap-source", "master=first.monitor", "source_name=mic"}));
    const Expected<AudioInventory> inventory = readAudioInventory(server_.server(), 1s);
    ASSERT_TRUE(inventory);
    ASSERT_EQ(inventory.value().microphones.size(), 1u) << "the monitor is no microphone";
    EXPECT_EQ(inventory.value().microphones[0].name, "mic");
    AudioCollector missing;
    PulseAudioSource microphone(server_.server(), {AudioInput::Kind::microphone, "gone"});
    ASSERT_FALSE(microphone.start(kStereo, missing.handler(), missing.stateHandler()));
    ASSERT_TRUE(waitUntil([&] { return !missing.states().empty(); }, 5s));
    EXPECT_TRUE(missing.states()[0]->description.startsWith(QStringLiteral("Could not record from gone")))
        << missing.states()[0]->description.toStdString();
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
    EXPECT_TRUE(collector_.states().empty());
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
        ASSERT_EQ(source.start(kStereo, first.handler(), first.stateHandler()), std::nullopt);
        ASSERT_TRUE(first.waitForFrames(2400));
        const MaybeError twice = source.start(kStereo, second.handler(), second.stateHandler());
        ASSERT_TRUE(twice);
        EXPECT_EQ(twice->description, QStringLiteral("The system audio is already being recorded."));

        source.stop();
        source.stop(); // again: nothing happens
        EXPECT_FALSE(first.waitForFrames(1, 150ms));
        ASSERT_EQ(source.start(kStereo, second.handler(), second.stateHandler()), std::nullopt);
        ASSERT_TRUE(second.waitForFrames(960));
    } // destroyed while recording
    EXPECT_FALSE(second.waitForFrames(1, 150ms));
    EXPECT_TRUE(first.states().empty());
}

// No output, a server killed while recording and one missing at the start are losses until it is
// back; the sound after a return is stamped with when it was heard.
TEST_F(PulseAudioSourceTest, LossesLastUntilTheOutputOrTheServerComesBack) {
    ASSERT_TRUE(server_.pactl({"unload-module", "module-null-sink"}));
    expectLossUntil(collector_, QStringLiteral("There is no audio output to record: "), [&] {
        ASSERT_TRUE(server_.pactl({"load-module", "module-null-sink", "sink_name=third", "rate=48000",
                                   "channels=2", "norewinds=1"}));
    });
    source_.stop();

    AudioCollector killed;
    PulseAudioSource recording(server_.server());
    ASSERT_EQ(recording.start(kStereo, killed.handler(), killed.stateHandler()), std::nullopt);
    ASSERT_TRUE(killed.waitForFrames(960));
    server_.kill();
    expectLossUntil(killed, QStringLiteral("The audio server went away"),
                    [&] { ASSERT_EQ(server_.start(), std::nullopt); });
    ASSERT_TRUE(killed.waitForFrames(4800));
    const std::vector<ReceivedAudio> received = killed.received();
    for (std::size_t i = received.size() - 10; i < received.size(); ++i) {
        EXPECT_LT(std::fabs((received[i].receivedAt - received[i].chunk.presentationTime).seconds()), 0.05)
            << "chunk " << i << " after the return";
    }
    recording.stop();

    server_.kill();
    AudioCollector collector;
    PulseAudioSource source(server_.server());
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(source.start(kStereo, collector.handler(), collector.stateHandler()), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_FALSE(collector.states().empty()) << "the loss is told before start() returns";
    expectLossUntil(collector,
                    QStringLiteral("Could not connect to the audio server (%1): ")
                        .arg(QString::fromStdString(server_.server())),
                    [&] { ASSERT_EQ(server_.start(), std::nullopt); });
}

TEST(PulseAudioSource, StartFailsOnlyForTheFormatAndStopEndsTheRetriesAtOnce) {
    AudioCollector collector;
    {
        PulseAudioSource source;
        const MaybeError error = source.start({48000, 9}, collector.handler(), collector.stateHandler());
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->description.startsWith(
            QStringLiteral("Cannot record system audio with 9 channels; between 1 and 8 channels")))
            << error->description.toStdString();
    }
    EXPECT_TRUE(collector.states().empty());

    QTemporaryDir dir;
    QLocalServer silent; // accepts connections (the kernel does, into the backlog) but never speaks
    ASSERT_TRUE(silent.listen(dir.filePath(QStringLiteral("silent"))));
    const QString silentServer = QStringLiteral("unix:") + silent.fullServerName();
    PulseAudioSource source(silentServer.toStdString());
    auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(source.start(kStereo, collector.handler(), collector.stateHandler()), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    const std::vector<std::optional<Error>> states = collector.states();
    ASSERT_EQ(states.size(), 1u);
    ASSERT_TRUE(states[0]);
    EXPECT_TRUE(states[0]->description.startsWith(
        QStringLiteral("The audio server (%1) did not start recording within 3000 ms: ").arg(silentServer)))
        << states[0]->description.toStdString();

    std::this_thread::sleep_for(400ms); // the retry is under way, waiting for the server
    before = std::chrono::steady_clock::now();
    source.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 100ms);
    EXPECT_EQ(collector.states().size(), 1u);
    EXPECT_EQ(collector.totalFrames(), 0);
}

// The review plays the buffer's AAC packets from a moment within them: what the output gets is the
// recorded tone, at its pitch and level, from that moment on.
TEST_F(PulseAudioSourceTest, TheReviewPlaysTheBuffersPacketsFromTheAskedMoment) {
    std::vector<float> samples(2 * 48000);
    for (std::size_t frame = 0; frame < samples.size() / 2; ++frame) {
        samples[2 * frame] = samples[2 * frame + 1] = static_cast<float>(
            kTonePeak * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(frame) / 48000));
    }
    const auto codecs = std::make_shared<FfmpegAudioCodecService>();
    std::vector<AudioPacket> packets;
    const std::unique_ptr<AudioEncoder> encoder = codecs->encoder({}, AudioOrigin::system).value();
    ASSERT_FALSE(encoder->encode({samples, 2, 48000, MediaTime(10, 1)}, packets) || encoder->flush(packets));

    const auto before = static_cast<std::size_t>(collector_.totalFrames());
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server_.server()));
    PulseSoundPlayer player(codecs);
    player.play(packets, MediaTime(21, 2)); // half a second in
    ASSERT_TRUE(collector_.waitForFrames(48000));
    player.stop();
    const std::vector<float> recorded = collector_.channel(0);
    const std::span<const float> tone = loudStretch(std::span(recorded).subspan(before), 19200);
    ASSERT_FALSE(tone.empty()) << "nothing played";
    EXPECT_NEAR(frequencyOf(tone, 48000), 440, 2);
    EXPECT_NEAR(rootMeanSquare(tone), kTonePeak / std::numbers::sqrt2, 0.04);
    // A sine is above half its peak two thirds of the time: half a second of it, from the asked moment.
    const auto loud = std::ranges::count_if(std::span(recorded).subspan(before),
                                            [](float value) { return std::fabs(value) > 0.25F; });
    EXPECT_NEAR(static_cast<double>(loud) / 48000 * 1.5, 0.5, 0.03);
}
