#include "capture/RecordingManager.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "support/SaveFlowStandIn.h"
#include "support/synthetic/SyntheticPlatform.h"

#include <gtest/gtest.h>
#include <QTest>

using namespace backreel;

namespace {
SyntheticOptions oneDisplay(std::int32_t width, std::int32_t height) {
    SyntheticOptions options;
    options.content.displays = {
        backreel::Display{1, width, height, QRectF(0, 0, width, height), QStringLiteral("VIRT-1")}};
    options.mainDisplayID = 1;
    return options;
}

struct Recorder {
    explicit Recorder(SyntheticOptions options)
        : state(std::make_shared<SyntheticState>(std::move(options))) {
        Platform platform = makeSyntheticPlatform(state);
        platform.encoders = std::make_shared<FfmpegVideoEncoderService>();
        manager = std::make_unique<RecordingManager>(std::move(platform), saveFlow,
                                                     std::make_shared<RecorderSettings>());
    }

    std::shared_ptr<SyntheticState> state;
    std::shared_ptr<test::SaveFlowStandIn> saveFlow = std::make_shared<test::SaveFlowStandIn>(state);
    std::unique_ptr<RecordingManager> manager;
};
} // namespace

// Generated frames in real time through the real encoder: the clip decodes at the capture size,
// starts on a key frame, and keeps a key frame within every half second of time stamps.
TEST(RecordingWithFfmpeg, TheClipDecodesAndHasAKeyFrameEveryHalfSecond) {
    Recorder recorder(oneDisplay(1280, 720));
    QCoro::waitFor(recorder.manager->startRecording());
    ASSERT_EQ(recorder.manager->status(), RecordingStatus::buffering());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return recorder.manager->session()->videoStore().count() >= 30; }, 10000));
    QCoro::waitFor(recorder.manager->stopAndSave());

    ASSERT_EQ(recorder.saveFlow->clips.size(), 1u);
    const std::vector<VideoPacket>& video = recorder.saveFlow->clips.front().video;
    ASSERT_GE(video.size(), 20u);
    ASSERT_TRUE(video.front().keyFrame);
    auto decoder = FfmpegFrameDecoder::create(*video.front().format);
    ASSERT_NE(decoder, nullptr);
    double lastKeyFrame = video.front().presentationTime.seconds();
    std::size_t decoded = 0;
    for (std::size_t index = 0; index < video.size(); ++index) {
        const VideoPacket& packet = video[index];
        if (index > 0) {
            EXPECT_GT(packet.presentationTime, video[index - 1].presentationTime) << "frame " << index;
        }
        if (packet.keyFrame) {
            lastKeyFrame = packet.presentationTime.seconds();
        }
        EXPECT_LT(packet.presentationTime.seconds() - lastKeyFrame, 0.5) << "frame " << index;
        Expected<ImageBufferPtr> picture = decoder->decode(packet);
        ASSERT_TRUE(picture) << "frame " << index << ": " << picture.error().description.toStdString();
        if (picture.value()) {
            ++decoded;
            EXPECT_EQ(picture.value()->width(), 1280);
            EXPECT_EQ(picture.value()->height(), 720);
        }
    }
    EXPECT_GE(decoded + 2, video.size()) << "every packet decodes without a delay";
}

// A capture size no encoder takes fails the start with the encoder's reason, before buffering.
TEST(RecordingWithFfmpeg, ASizeNoEncoderTakesFailsTheStartWithItsReason) {
    Recorder recorder(oneDisplay(100000, 100000));
    QCoro::waitFor(recorder.manager->startRecording());
    const RecordingStatus status = recorder.manager->status();
    ASSERT_TRUE(status.is(RecordingStatus::Kind::error));
    EXPECT_TRUE(status.message().startsWith(QStringLiteral("Failed to create compression session (")))
        << status.message().toStdString();
    EXPECT_EQ(recorder.manager->session(), nullptr);
}
