#include "capture/VideoCompression.h"

#include "support/Samples.h"
#include "support/synthetic/SyntheticVideoEncoder.h"

#include <gtest/gtest.h>

using namespace backreel;

namespace {
std::shared_ptr<SyntheticState> encoders(bool hardwareHevc,
                                         std::optional<EncoderError> openError = std::nullopt) {
    SyntheticOptions options;
    options.hardwareHevcAvailable = hardwareHevc;
    options.openError = std::move(openError);
    options.encodeLatencyMicroseconds = 2000;
    return std::make_shared<SyntheticState>(options);
}

std::shared_ptr<MediaStores> stores() {
    return MediaStores::create(11, MemoryLimit::defaultLimit(), Logger::recording());
}
} // namespace

TEST(VideoCompression, HevcOnlyWhereAHardwareEncoderOpens) {
    auto without = encoders(false);
    SyntheticVideoEncoderService software(without);
    EXPECT_EQ(chooseCodec(software, 1920, 1080), VideoCodec::h264);
    auto with = encoders(true);
    SyntheticVideoEncoderService hardware(with);
    EXPECT_EQ(chooseCodec(hardware, 1920, 1080), VideoCodec::hevc);
    EXPECT_EQ(with->journal(), (std::vector<std::string>{"open HEVC hardware", "close"}))
        << "the probe is closed at once";

    const VideoEncoderSettings h264 = recordingEncoderSettings(VideoCodec::h264, 1920, 1080);
    EXPECT_EQ(h264.averageBitRate, 20'000'000);
    EXPECT_EQ(h264.profile, VideoProfile::h264High);
    const VideoEncoderSettings hevc = recordingEncoderSettings(VideoCodec::hevc, 1920, 1080);
    EXPECT_EQ(hevc.averageBitRate, 10'000'000);
    EXPECT_EQ(hevc.profile, VideoProfile::hevcMain);
    EXPECT_EQ(hevc.maxKeyFrameInterval, 30);
    EXPECT_EQ(hevc.maxKeyFrameIntervalSeconds, 0.5);
}

TEST(VideoCompression, AnEncoderThatCannotOpenGivesTheStartsErrorWithItsReason) {
    auto state =
        encoders(false, EncoderError{EncoderError::Kind::unsupportedSize,
                                     QStringLiteral("100000×100000 is larger than an encoder can take")});
    SyntheticVideoEncoderService service(state);
    auto opened = openRecordingEncoder(service, 100000, 100000, stores(), Logger::recording());
    ASSERT_FALSE(opened);
    EXPECT_EQ(
        opened.error().description,
        QStringLiteral(
            "Failed to create compression session (100000×100000 is larger than an encoder can take)."));
}

TEST(VideoCompression, PacketsReachTheStoreUntilTheEncoderIsFinished) {
    auto state = encoders(false);
    SyntheticVideoEncoderService service(state);
    auto both = stores();
    const std::shared_ptr<RingBuffer> store = both->video();
    auto opened = openRecordingEncoder(service, 64, 64, both, Logger::recording());
    ASSERT_TRUE(opened);
    const std::shared_ptr<VideoEncoder> encoder = opened.value();
    const ImageBufferPtr image = ImageBuffer::allocate(64, 64);
    for (int i = 0; i < 20; ++i) {
        encoder->encode(VideoFrame{image, MediaTime(i, 30), MediaTime(1, 30)});
    }
    QCoro::waitFor(finishEncoder(encoder));
    EXPECT_EQ(store->count(), 20u) << "every pending frame came out before the finish completed";
    encoder->encode(VideoFrame{image, MediaTime(21, 30), MediaTime(1, 30)});
    QCoro::waitFor(finishEncoder(encoder));
    EXPECT_EQ(store->count(), 20u);
}

TEST(VideoCompression, LostFramesAreLoggedAndAppendNothing) {
    auto both = stores();
    const std::shared_ptr<RingBuffer> store = both->video();
    EncoderOutput output = ringBufferOutput(both, Logger::recording());
    output.error(EncoderError{EncoderError::Kind::encodeFailed, QStringLiteral("broken frame")});
    EXPECT_EQ(store->count(), 0u);
    output.packet(test::keyFrame(1.0));
    EXPECT_EQ(store->count(), 1u);
}
