#include "platform/ffmpeg/FfmpegVideoEncoderService.h"

#include "EncoderTestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

using namespace backreel;
using namespace backreel::test;

TEST(FfmpegVideoEncoderService, SizesNoEncoderTakesFailAtOpenWithTheSize) {
    FfmpegVideoEncoderService service;
    const struct {
        std::int32_t width;
        std::int32_t height;
    } badSizes[] = {{100'000, 100'000}, {0, 240}, {-2, 240}, {16385, 240}, {240, 16385}, {16384, 16384}};
    for (const auto& size : badSizes) {
        const std::string name = std::to_string(size.width) + "×" + std::to_string(size.height);
        SCOPED_TRACE(name);
        auto encoder = service.open(testSettings(size.width, size.height), {});
        ASSERT_FALSE(encoder);
        EXPECT_EQ(encoder.error().kind, EncoderError::Kind::unsupportedSize);
        EXPECT_TRUE(encoder.error().message.contains(QString::fromStdString(name))) << "says which size";
    }
    EXPECT_EQ(service.open(testSettings(100'000, 100'000), {}).error().message,
              QStringLiteral("100000×100000 is larger than an encoder can take"));
}

TEST(FfmpegVideoEncoderService, TheHardwareProbeIsQuietAndH264FallsBackToSoftware) {
    FfmpegVideoEncoderService service;
    VideoEncoderSettings hevc = testSettings(1920, 1080);
    hevc.codec = VideoCodec::hevc;
    hevc.profile = VideoProfile::hevcMain;
    hevc.requireHardware = true;

    testing::internal::CaptureStderr();
    const auto started = std::chrono::steady_clock::now();
    service.open(hevc, {}); // an encoder that opens closes again at once
    const auto elapsed = std::chrono::steady_clock::now() - started;
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "") << "hardware encoders that fail to open print nothing";
    EXPECT_LT(elapsed, std::chrono::seconds(5));

    hevc.requireHardware = false;
    auto hevcEncoder = service.open(hevc, {});
    if (!hevcEncoder) {
        EXPECT_EQ(hevcEncoder.error().kind, EncoderError::Kind::unavailable)
            << "HEVC has no software encoder";
        EXPECT_TRUE(hevcEncoder.error().message.contains(QStringLiteral("hevc_vaapi")))
            << "says which encoders failed: " << hevcEncoder.error().message.toStdString();
    } else {
        EXPECT_EQ(hevcEncoder.value()->format().codec, VideoCodec::hevc);
    }

    PacketCollector collector;
    auto h264 = service.openFfmpeg(testSettings(1280, 720), collector.output());
    ASSERT_TRUE(h264) << h264.error().message.toStdString();
    EXPECT_EQ(h264.value()->format().codec, VideoCodec::h264);
    EXPECT_FALSE(h264.value()->format().codecConfiguration.empty())
        << "open means ready: parameter sets known";
}
