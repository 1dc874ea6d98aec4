#include "capture/VideoCompression.h"

#include "support/synthetic/SyntheticVideoEncoder.h"

#include <gtest/gtest.h>

using namespace backreel;

// HEVC only where a hardware encoder for it opens; the encoder opened to find out is closed at once.
// Either way the recorder asks for a key frame at least every half second, where clips may start.
TEST(VideoCompression, HevcOnlyWhereAHardwareEncoderOpensAndAKeyFrameEveryHalfSecond) {
    for (const bool hardware : {false, true}) {
        SyntheticOptions options;
        options.hardwareHevcAvailable = hardware;
        auto state = std::make_shared<SyntheticState>(options);
        SyntheticVideoEncoderService service(state);
        const VideoCodec codec = chooseCodec(service, 1920, 1080);
        EXPECT_EQ(codec, hardware ? VideoCodec::hevc : VideoCodec::h264);
        EXPECT_EQ(state->journal().back(), hardware ? "close" : "open HEVC hardware");
        EXPECT_EQ(recordingEncoderSettings(codec, 1920, 1080).maxKeyFrameIntervalSeconds, 0.5);
    }
}
