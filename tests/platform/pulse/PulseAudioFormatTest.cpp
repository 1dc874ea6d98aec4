#include "platform/pulse/PulseAudioFormat.h"

#include <gtest/gtest.h>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

struct FormatCase {
    std::int32_t sampleRate;
    std::int32_t channelCount;
    bool valid;
};

class PulseAudioFormatCheck : public testing::TestWithParam<FormatCase> {};

} // namespace

TEST_P(PulseAudioFormatCheck, AcceptsOneToEightChannelsAtRealRates) {
    const FormatCase c = GetParam();
    const MaybeError error = checkSystemAudioFormat({c.sampleRate, c.channelCount});
    EXPECT_EQ(!error.has_value(), c.valid);
    if (error) {
        EXPECT_EQ(error->domain, QStringLiteral("Backreel"));
        EXPECT_FALSE(error->description.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PulseAudioFormatCheck,
    testing::Values(FormatCase{48000, 2, true}, FormatCase{48000, 1, true}, FormatCase{48000, 8, true},
                    FormatCase{44100, 6, true}, FormatCase{384000, 2, true}, FormatCase{8000, 1, true},
                    FormatCase{48000, 0, false}, FormatCase{48000, -2, false}, FormatCase{48000, 9, false},
                    FormatCase{48000, 32, false}, FormatCase{0, 2, false}, FormatCase{-48000, 2, false},
                    FormatCase{384001, 2, false}),
    [](const testing::TestParamInfo<FormatCase>& param) {
        const auto number = [](std::int32_t value) {
            return value < 0 ? "minus" + std::to_string(-value) : std::to_string(value);
        };
        return number(param.param.sampleRate) + "Hz_" + number(param.param.channelCount) + "ch";
    });

TEST(PulseAudioFormat, ErrorsSayWhatIsWrong) {
    const MaybeError channels = checkSystemAudioFormat({48000, 9});
    ASSERT_TRUE(channels);
    EXPECT_TRUE(channels->description.contains(QStringLiteral("9 channels")))
        << channels->description.toStdString();
    EXPECT_TRUE(channels->description.contains(QStringLiteral("between 1 and 8")));

    const MaybeError rate = checkSystemAudioFormat({0, 2});
    ASSERT_TRUE(rate);
    EXPECT_TRUE(rate->description.contains(QStringLiteral("0 Hz"))) << rate->description.toStdString();
}

TEST(PulseAudioFormat, DescribesInterleavedFloat) {
    const AudioStreamBasicDescription stereo = interleavedFloatDescription({48000, 2});
    EXPECT_EQ(stereo.sampleRate, 48000);
    EXPECT_EQ(stereo.formatID, codec::linearPCM);
    EXPECT_EQ(stereo.formatFlags, AudioStreamBasicDescription::kFormatFlagIsFloat);
    EXPECT_TRUE(stereo.isFloat());
    EXPECT_FALSE(stereo.isNonInterleaved());
    EXPECT_EQ(stereo.bytesPerFrame, 8u);
    EXPECT_EQ(stereo.bytesPerPacket, 8u);
    EXPECT_EQ(stereo.framesPerPacket, 1u);
    EXPECT_EQ(stereo.channelsPerFrame, 2u);
    EXPECT_EQ(stereo.bitsPerChannel, 32u);

    const AudioStreamBasicDescription surround = interleavedFloatDescription({44100, 6});
    EXPECT_EQ(surround.sampleRate, 44100);
    EXPECT_EQ(surround.bytesPerFrame, 24u);
    EXPECT_EQ(surround.bytesPerPacket, 24u);
    EXPECT_EQ(surround.channelsPerFrame, 6u);
    EXPECT_EQ(bytesPerFrame({44100, 6}), 24u);
    EXPECT_EQ(bytesPerFrame({48000, 1}), 4u);
}

TEST(PulseAudioFormat, ByteCountsAreWholeFrames) {
    EXPECT_EQ(byteCountForDuration({48000, 2}, 10ms), 480u * 8);
    EXPECT_EQ(byteCountForDuration({48000, 1}, 10ms), 480u * 4);
    EXPECT_EQ(byteCountForDuration({44100, 2}, 10ms), 441u * 8);
    EXPECT_EQ(byteCountForDuration({22050, 2}, 10ms), 221u * 8); // 220.5 rounds up
    EXPECT_EQ(byteCountForDuration({48000, 8}, 1s), 48000u * 32);
    // Never less than one frame, whatever the duration.
    EXPECT_EQ(byteCountForDuration({8000, 2}, 0ms), 8u);
    EXPECT_EQ(byteCountForDuration({8000, 2}, std::chrono::microseconds(-5)), 8u);
}

TEST(PulseAudioFormat, MonitorOfASink) {
    EXPECT_EQ(monitorSourceName("virt"), "virt.monitor");
    EXPECT_EQ(monitorSourceName("alsa_output.pci-0000_00_1f.3.analog-stereo"),
              "alsa_output.pci-0000_00_1f.3.analog-stereo.monitor");
}
