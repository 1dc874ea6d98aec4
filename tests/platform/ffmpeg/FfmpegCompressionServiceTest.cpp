#include "platform/ffmpeg/FfmpegCompressionService.h"

#include "capture/VideoCompression.h"
#include "CompressionTestSupport.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QCoroTask>
#include <thread>

using namespace backreel;
using namespace backreel::test;

TEST(FfmpegCompressionService, HardwareProbeAnswersQuietlyAndQuickly) {
    FfmpegCompressionService service;
    EncoderSpecification hardware;
    hardware.requireHardwareAcceleratedVideoEncoder = true;
    std::shared_ptr<CompressionSession> probe;

    testing::internal::CaptureStderr();
    const auto started = std::chrono::steady_clock::now();
    const std::int32_t status =
        service.createSession(1920, 1080, codec::hevc, &hardware, nullptr, nullptr, &probe);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    if (probe) {
        probe->invalidate();
    }
    const std::string printed = testing::internal::GetCapturedStderr();

    if (status == 0) {
        EXPECT_NE(probe, nullptr) << "a hardware HEVC encoder opened, so there is a session";
    } else {
        EXPECT_EQ(status, compression_status::kHardwareNotAvailable);
        EXPECT_EQ(probe, nullptr);
    }
    EXPECT_EQ(printed, "") << "failed hardware encoders must not print anything";
    EXPECT_LT(elapsed, 2s);
}

TEST(FfmpegCompressionService, ChooseCodecFallsBackToH264AndTheH264SessionOpens) {
    FfmpegCompressionService service;
    const FourCC chosen = chooseCodec(service, 1280, 720);
    OutputCollector collector;
    std::shared_ptr<CompressionSession> session;
    ASSERT_EQ(service.createSession(1280, 720, codec::h264, nullptr, OutputCollector::callback, &collector,
                                    &session),
              0);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->prepareToEncodeFrames(), 0);
    if (chosen == codec::h264) {
        std::shared_ptr<CompressionSession> hevc;
        EXPECT_EQ(service.createSession(1280, 720, codec::hevc, nullptr, nullptr, nullptr, &hevc),
                  compression_status::kCouldNotFindVideoEncoder)
            << "HEVC has no software fallback";
        EXPECT_EQ(hevc, nullptr);
    }
}

TEST(FfmpegCompressionService, RejectsSizesNoEncoderTakesAndUnknownCodecs) {
    FfmpegCompressionService service;
    const struct {
        std::int32_t width;
        std::int32_t height;
    } badSizes[] = {{0, 240}, {320, 0}, {-2, 240}, {320, -4}, {16385, 240}, {240, 16385}, {16384, 16384}};
    for (const auto& size : badSizes) {
        std::shared_ptr<CompressionSession> session;
        ASSERT_EQ(service.createSession(2, 2, codec::h264, nullptr, nullptr, nullptr, &session), 0);
        EXPECT_EQ(
            service.createSession(size.width, size.height, codec::h264, nullptr, nullptr, nullptr, &session),
            compression_status::kParameter)
            << size.width << "x" << size.height;
        EXPECT_EQ(session, nullptr) << "a failed creation leaves no session behind";
    }
    std::shared_ptr<CompressionSession> session;
    EXPECT_EQ(service.createSession(320, 240, FourCC("mp4v"), nullptr, nullptr, nullptr, &session),
              compression_status::kCouldNotFindVideoEncoder);
    EXPECT_EQ(service.createSession(320, 240, codec::h264, nullptr, nullptr, nullptr, nullptr),
              compression_status::kParameter);

    // The recorder's set-up turns the refusal into its error, without a crash.
    test::LogCapture log;
    auto created =
        createCompressionSession(service, 100'000, 100'000, RingBuffer::create(), Logger::recording());
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().code, compression_status::kParameter);
    EXPECT_EQ(created.error().description,
              QStringLiteral("Failed to create compression session (err -12902)."));
}

TEST(FfmpegCompressionService, PropertiesAreCheckedAndFixedOnceTheEncoderIsOpen) {
    FfmpegCompressionService service;
    std::shared_ptr<CompressionSession> session;
    ASSERT_EQ(service.createSession(320, 240, codec::h264, nullptr, nullptr, nullptr, &session), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::averageBitRate, true),
              compression_status::kParameter);
    EXPECT_EQ(session->setProperty(CompressionProperty::averageBitRate, std::int64_t{0}),
              compression_status::kParameter);
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameIntervalDuration, -1.0),
              compression_status::kParameter);
    EXPECT_EQ(session->setProperty(CompressionProperty::profileLevel, ProfileLevel::hevcMainAutoLevel),
              compression_status::kParameter)
        << "an HEVC profile on an H.264 session";
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{30}), 0);
    ASSERT_EQ(session->prepareToEncodeFrames(), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{60}),
              compression_status::kParameter)
        << "the encoder is open; the change could not take effect";
    session->invalidate();
    EXPECT_EQ(session->setProperty(CompressionProperty::realTime, true), compression_status::kInvalidSession);
}

TEST(FfmpegCompressionService, TheRecorderSetUpRunsAgainstTheRealEncoder) {
    test::LogCapture log;
    FfmpegCompressionService service;
    auto store = RingBuffer::create();
    auto created = createCompressionSession(service, 640, 480, store, Logger::recording());
    ASSERT_TRUE(created) << created.error().description.toStdString();
    const QString codecName =
        chooseCodec(service, 640, 480) == codec::hevc ? QStringLiteral("HEVC") : QStringLiteral("H264");
    EXPECT_EQ(log.count(QStringLiteral("[Compression] Creating session: codec=%1, 640×480").arg(codecName)),
              1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[Compression] Session ready: %1").arg(codecName)), 1);

    auto session = created.value().session;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(session->encodeFrame(movingPicture(640, 480, i), MediaTime(i, 30), MediaTime(1, 30)), 0);
        std::this_thread::sleep_for(5ms);
    }
    QCoro::waitFor(completeAndInvalidate(session));
    const std::int64_t framesOut = created.value().context->framesOut.load();
    EXPECT_GE(framesOut, 1);
    EXPECT_EQ(store->count(), static_cast<std::size_t>(framesOut));
    EXPECT_EQ(
        log.countStartingWith(QStringLiteral("[VT] First compressed frame out: PTS=0.000s isKeyframe=true")),
        1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[VT] Encode error")), 0);
}
