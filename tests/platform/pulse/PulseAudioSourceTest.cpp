#include "platform/pulse/PulseAudioSource.h"

#include "platform/pulse/PulseAudioService.h"
#include "platform/pulse/PulseTestEnvironment.h"
#include "platform/pulse/SampleCollector.h"
#include "platform/pulse/ToneAnalysis.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <QLocalServer>
#include <QTemporaryDir>

using namespace backreel;
using namespace backreel::test;
using namespace std::chrono_literals;

namespace {

constexpr SystemAudioFormat kStereo{48000, 2};

using Clock = std::chrono::steady_clock;

double milliseconds(std::int64_t frames, std::int32_t rate) {
    return 1000.0 * static_cast<double>(frames) / rate;
}

// Records from the session's server (the virtual desktop's "virt" sink).
class PulseAudioSourceSession : public testing::Test {
protected:
    void SetUp() override {
        if (const std::optional<QString> missing = sessionServerMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
    }

    static void requireToneTools() {
        if (!haveProgram(QStringLiteral("sox")) || !haveProgram(QStringLiteral("pacat"))) {
            GTEST_SKIP() << "sox and pacat are needed to play a test tone";
        }
    }
};

class PulseAudioSourceFormats : public PulseAudioSourceSession,
                                public testing::WithParamInterface<SystemAudioFormat> {};

} // namespace

TEST_P(PulseAudioSourceFormats, DeliversInterleavedFloatInTheRequestedFormat) {
    const SystemAudioFormat format = GetParam();
    const auto channels = static_cast<std::uint32_t>(format.channelCount);
    SampleCollector collector;
    PulseAudioSource source;
    ASSERT_EQ(source.start(format, collector.sampleHandler(), collector.failureHandler()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(format.sampleRate / 5)); // 200 ms
    source.stop();

    const std::vector<DeliveredSample> samples = collector.samples();
    ASSERT_GE(samples.size(), 5u);
    std::vector<std::int64_t> lengths;
    for (const DeliveredSample& sample : samples) {
        ASSERT_NE(sample.description, nullptr);
        EXPECT_EQ(sample.formatDescription->mediaType(), MediaType::audio);
        const AudioStreamBasicDescription& asbd = *sample.description;
        EXPECT_EQ(asbd.sampleRate, format.sampleRate);
        EXPECT_EQ(asbd.formatID, codec::linearPCM);
        EXPECT_EQ(asbd.formatFlags, AudioStreamBasicDescription::kFormatFlagIsFloat);
        EXPECT_EQ(asbd.bytesPerFrame, 4 * channels);
        EXPECT_EQ(asbd.bytesPerPacket, 4 * channels);
        EXPECT_EQ(asbd.framesPerPacket, 1u);
        EXPECT_EQ(asbd.channelsPerFrame, channels);
        EXPECT_EQ(asbd.bitsPerChannel, 32u);

        EXPECT_GT(sample.frames, 0);
        ASSERT_EQ(sample.timing.size(), 1u);
        EXPECT_EQ(sample.timing[0].duration, MediaTime(1, format.sampleRate));
        EXPECT_EQ(sample.timing[0].presentationTimeStamp.timeScale(), format.sampleRate);
        EXPECT_FALSE(sample.timing[0].decodeTimeStamp.isValid());
        EXPECT_EQ(sample.sizes, std::vector<std::size_t>{4 * channels});

        // No data buffer: one interleaved buffer and a block over the very same bytes.
        EXPECT_FALSE(sample.hasDataBuffer);
        ASSERT_EQ(sample.buffers.size(), 1u);
        EXPECT_EQ(sample.buffers[0].numberChannels, channels);
        EXPECT_EQ(sample.buffers[0].dataByteSize, static_cast<std::size_t>(sample.frames) * 4 * channels);
        EXPECT_NE(sample.buffers[0].data, nullptr);
        EXPECT_EQ(sample.listBlockLength, sample.buffers[0].dataByteSize);
        EXPECT_EQ(sample.listBlockData, sample.buffers[0].data);
        lengths.push_back(sample.frames);
    }
    // Fragments of about 10 ms.
    std::sort(lengths.begin(), lengths.end());
    const double median = milliseconds(lengths[lengths.size() / 2], format.sampleRate);
    EXPECT_GE(median, 5.0);
    EXPECT_LE(median, 20.0);
    EXPECT_TRUE(collector.failures().empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, PulseAudioSourceFormats,
                         testing::Values(SystemAudioFormat{48000, 2}, SystemAudioFormat{44100, 1},
                                         SystemAudioFormat{48000, 6}),
                         [](const testing::TestParamInfo<SystemAudioFormat>& param) {
                             return std::to_string(param.param.sampleRate) + "Hz_" +
                                    std::to_string(param.param.channelCount) + "ch";
                         });

TEST_F(PulseAudioSourceSession, RecordsThePlayedToneOnTheMonotonicClock) {
    requireToneTools();
    SampleCollector collector;
    PulseAudioService service;
    std::unique_ptr<SystemAudioSource> source = service.makeSource();
    ASSERT_EQ(source->start(kStereo, collector.sampleHandler(), collector.failureHandler()), std::nullopt);
    ASSERT_TRUE(collector.waitForFrames(4800));
    ASSERT_TRUE(playTone(1.0));
    ASSERT_TRUE(collector.waitForFrames(4800));
    source->stop();

    // The pitch: 440 Hz stands far above its neighbours.
    const std::vector<float> recorded = collector.firstChannel();
    const std::span<const float> tone = loudStretch(recorded, 24000);
    ASSERT_FALSE(tone.empty()) << "no tone in " << recorded.size() << " recorded frames";
    const double at440 = tonePower(tone, 440, 48000);
    for (const double other : {220.0, 330.0, 550.0, 880.0}) {
        EXPECT_GT(at440, 100 * tonePower(tone, other, 48000)) << other << " Hz";
    }
    EXPECT_NEAR(zeroCrossingFrequency(tone, 48000), 440, 3);

    // The times: near the clock at delivery, never backwards, end to end.
    const std::vector<DeliveredSample> samples = collector.samples();
    ASSERT_GE(samples.size(), 50u);
    int discontinuities = 0;
    std::vector<double> offsets;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const MediaTime pts = samples[i].timing[0].presentationTimeStamp;
        const double offset = milliseconds(samples[i].deliveredAt - pts.value(), 48000);
        offsets.push_back(offset);
        EXPECT_LT(std::fabs(offset), 50.0) << "sample " << i;
        if (i > 0) {
            const MediaTime previous = samples[i - 1].timing[0].presentationTimeStamp;
            EXPECT_GE(pts.value(), previous.value()) << "sample " << i;
            if (pts.value() != previous.value() + samples[i - 1].frames) {
                ++discontinuities;
            }
        }
    }
    EXPECT_EQ(discontinuities, 0);
    std::sort(offsets.begin(), offsets.end());
    std::cout << samples.size() << " samples; delivery minus PTS: min " << offsets.front() << " ms, median "
              << offsets[offsets.size() / 2] << " ms, max " << offsets.back() << " ms\n";
}

TEST_F(PulseAudioSourceSession, NoHandlerRunsAfterStop) {
    SampleCollector collector;
    collector.setHandlerDelay(3ms); // stop() lands in the middle of a call more often than not
    {
        PulseAudioSource source;
        ASSERT_EQ(source.start(kStereo, collector.sampleHandler(), collector.failureHandler()), std::nullopt);
        ASSERT_TRUE(collector.waitForFrames(2400));
        source.stop();
        collector.markStopped();
        const std::size_t delivered = collector.sampleCount();
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(collector.sampleCount(), delivered);
        EXPECT_EQ(collector.lateCalls(), 0);
        source.stop(); // again: nothing happens
    }
    EXPECT_EQ(collector.lateCalls(), 0);
    EXPECT_TRUE(collector.failures().empty());
}

TEST_F(PulseAudioSourceSession, StartsAgainAfterStopAndTheDestructorStops) {
    SampleCollector first;
    SampleCollector second;
    {
        PulseAudioSource source;
        ASSERT_EQ(source.start(kStereo, first.sampleHandler(), first.failureHandler()), std::nullopt);
        ASSERT_TRUE(first.waitForFrames(960));

        // One recording at a time.
        const MaybeError twice = source.start(kStereo, second.sampleHandler(), second.failureHandler());
        ASSERT_TRUE(twice);
        EXPECT_EQ(twice->domain, QStringLiteral("Backreel"));
        ASSERT_TRUE(first.waitForFrames(960));

        source.stop();
        first.markStopped();
        ASSERT_EQ(source.start(kStereo, second.sampleHandler(), second.failureHandler()), std::nullopt);
        ASSERT_TRUE(second.waitForFrames(960));
    } // destroyed while recording
    second.markStopped();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(first.lateCalls(), 0);
    EXPECT_EQ(second.lateCalls(), 0);
}

TEST(PulseAudioSource, RejectsChannelCountsOutsideOneToEight) {
    for (const SystemAudioFormat format : {SystemAudioFormat{48000, 0}, SystemAudioFormat{48000, 9},
                                           SystemAudioFormat{48000, -1}, SystemAudioFormat{0, 2}}) {
        SampleCollector collector;
        PulseAudioSource source;
        const MaybeError error = source.start(format, collector.sampleHandler(), collector.failureHandler());
        ASSERT_TRUE(error) << format.sampleRate << " Hz, " << format.channelCount << " channels";
        EXPECT_EQ(error->domain, QStringLiteral("Backreel"));
        EXPECT_EQ(collector.sampleCount(), 0u);
    }
}

TEST(PulseAudioSource, FailsFastWhenNoServerListens) {
    const std::string server = "unix:/nonexistent/backreel-test/native";
    SampleCollector collector;
    PulseAudioSource source(server);
    const Clock::time_point before = Clock::now();
    const MaybeError error = source.start(kStereo, collector.sampleHandler(), collector.failureHandler());
    const auto elapsed = Clock::now() - before;
    ASSERT_TRUE(error);
    EXPECT_LT(elapsed, 2s);
    EXPECT_EQ(error->domain, QStringLiteral("PulseAudio"));
    EXPECT_NE(error->code, 0);
    EXPECT_EQ(error->description,
              QStringLiteral("Could not connect to the audio server (%1): Connection refused")
                  .arg(QString::fromStdString(server)));
    source.stop();
    EXPECT_EQ(collector.sampleCount(), 0u);
    EXPECT_TRUE(collector.failures().empty());
}

TEST(PulseAudioSource, ConnectsToTheServerInPulseServer) {
    const QByteArray saved = qgetenv("PULSE_SERVER");
    const bool wasSet = qEnvironmentVariableIsSet("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/backreel-env/native");
    SampleCollector collector;
    PulseAudioSource source;
    const MaybeError error = source.start(kStereo, collector.sampleHandler(), collector.failureHandler());
    if (wasSet) {
        qputenv("PULSE_SERVER", saved);
    } else {
        qunsetenv("PULSE_SERVER");
    }
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->description.contains(QStringLiteral("unix:/nonexistent/backreel-env/native")))
        << error->description.toStdString();
    EXPECT_TRUE(error->description.endsWith(QStringLiteral("Connection refused")));
}

TEST(PulseAudioSource, GivesUpOnAServerThatNeverAnswers) {
    // A socket that accepts connections (the kernel does, into the backlog) but never speaks.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(dir.filePath(QStringLiteral("silent"))));
    SampleCollector collector;
    PulseAudioSource source("unix:" + silent.fullServerName().toStdString());
    const Clock::time_point before = Clock::now();
    const MaybeError error = source.start(kStereo, collector.sampleHandler(), collector.failureHandler());
    const auto elapsed = Clock::now() - before;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, QStringLiteral("PulseAudio"));
    EXPECT_TRUE(error->description.contains(QStringLiteral("did not start recording within 3000 ms")))
        << error->description.toStdString();
    EXPECT_GE(elapsed, 2900ms);
    EXPECT_LT(elapsed, 5s);
}
