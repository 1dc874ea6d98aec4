#include "capture/VideoCompression.h"

#include "support/synthetic/SyntheticVideoEncoder.h"

#include <gtest/gtest.h>

using namespace backreel;

// HEVC only where a hardware encoder for it opens, and only when the user leaves the codec to us;
// the encoder opened to find out is closed at once. Either way the recorder asks for a key frame at
// least every half second, where clips may start.
TEST(VideoCompression, HevcOnlyWhereAHardwareEncoderOpensAndAKeyFrameEveryHalfSecond) {
    for (const auto& [hardware, choice] :
         {std::pair{false, CodecChoice::automatic}, std::pair{true, CodecChoice::automatic},
          std::pair{true, CodecChoice::h264}}) {
        SyntheticOptions options;
        options.hardwareHevcAvailable = hardware;
        auto state = std::make_shared<SyntheticState>(options);
        SyntheticVideoEncoderService service(state);
        const VideoCodec codec = chooseCodec(service, 1920, 1080, choice);
        const bool hevc = hardware && choice == CodecChoice::automatic;
        EXPECT_EQ(codec, hevc ? VideoCodec::hevc : VideoCodec::h264);
        if (choice == CodecChoice::h264) {
            EXPECT_TRUE(state->journal().empty()) << "nothing probed";
        } else {
            EXPECT_EQ(state->journal().back(), hardware ? "close" : "open HEVC hardware");
        }
        EXPECT_EQ(recordingEncoderSettings(codec, 1920, 1080).maxKeyFrameIntervalSeconds, 0.5);
    }
}
