#include "capture/VideoCompression.h"
#include "CompressionTestSupport.h"
#include "platform/ffmpeg/FfmpegCompressionService.h"
#include "platform/ffmpeg/FfmpegEncoder.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QCoroTask>
#include <thread>

using namespace backreel;
using namespace backreel::test;

TEST(FfmpegCompressionSession, FramesComeOutInOrderWithTheSubmittedTiming) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector);
    ASSERT_NE(session, nullptr);
    // 29.97 frames per second at a scale of its own: the samples must carry these exact values, not
    // the nearest 90 kHz tick.
    constexpr int kFrames = 20;
    for (int i = 0; i < kFrames; ++i) {
        encodeAndWait(*session, collector, movingPicture(320, 240, i), MediaTime(1001 * i + 7, 30000),
                      MediaTime(1001, 30000));
    }
    ASSERT_EQ(session->completeFrames(MediaTime::invalid()), 0);

    const std::vector<MediaSamplePtr> samples = collector.samples();
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(collector.drops(), 0);
    EXPECT_EQ(collector.errors(), 0);
    for (int i = 0; i < kFrames; ++i) {
        const MediaSample& sample = *samples[static_cast<std::size_t>(i)];
        SampleTimingInfo timing;
        std::size_t count = 0;
        ASSERT_EQ(sample.sampleTimingInfoArray(1, &timing, &count), 0);
        EXPECT_EQ(timing.presentationTimeStamp.value(), 1001 * i + 7) << "frame " << i;
        EXPECT_EQ(timing.presentationTimeStamp.timeScale(), 30000) << "frame " << i;
        EXPECT_EQ(timing.decodeTimeStamp, timing.presentationTimeStamp) << "frame " << i;
        EXPECT_EQ(timing.duration, MediaTime(1001, 30000)) << "frame " << i;
        ASSERT_NE(sample.dataBuffer(), nullptr);
        EXPECT_GT(sample.dataBuffer()->dataLength(), 0u);
        std::size_t size = 0;
        ASSERT_EQ(sample.sampleSizeArray(1, &size, &count), 0);
        EXPECT_EQ(size, sample.dataBuffer()->dataLength());
        EXPECT_EQ(sample.formatDescription(), samples.front()->formatDescription())
            << "one shared description";
    }
    EXPECT_TRUE(isKeyframe(*samples.front())) << "the first frame is a key frame";
    EXPECT_FALSE(isKeyframe(*samples[1])) << "the second frame depends on the first";
    EXPECT_EQ(session->encodeFrame(movingPicture(320, 240, 0), MediaTime(1, 1), MediaTime(1, 30)),
              compression_status::kInvalidSession)
        << "a completed session takes no more frames";
}

TEST(FfmpegCompressionSession, TheFormatDescriptionCarriesCodecSizeAndParameterSets) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector, 320, 240);
    ASSERT_NE(session, nullptr);
    encodeAndWait(*session, collector, movingPicture(320, 240, 0), MediaTime(0, 30), MediaTime(1, 30));
    const std::vector<MediaSamplePtr> samples = collector.samples();
    ASSERT_EQ(samples.size(), 1u);
    const FormatDescriptionPtr& format = samples.front()->formatDescription();
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->mediaType(), MediaType::video);
    EXPECT_EQ(format->mediaSubType(), codec::h264);
    EXPECT_EQ(format->videoDimensions(), (VideoDimensions{320, 240}));
    const std::vector<std::byte>& parameterSets = format->codecConfiguration();
    ASSERT_GE(parameterSets.size(), 8u);
    // Annex B: a start code, then the sequence parameter set (NAL unit type 7).
    EXPECT_EQ(parameterSets[0], std::byte{0});
    EXPECT_EQ(parameterSets[1], std::byte{0});
    const std::size_t nalHeader = parameterSets[2] == std::byte{1} ? 3 : 4;
    EXPECT_EQ(std::to_integer<int>(parameterSets[nalHeader]) & 0x1F, 7);
}

TEST(FfmpegCompressionSession, PacketsDecodeBackToThePicture) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector);
    ASSERT_NE(session, nullptr);
    // Red and blue differ, so swapped channels or chroma planes show.
    const Bgra orange{30, 120, 230};
    const Bgra teal{170, 140, 20};
    const ImageBufferPtr picture = twoColourPicture(320, 240, orange, teal);
    for (int i = 0; i < 4; ++i) {
        encodeAndWait(*session, collector, picture, MediaTime(i, 30), MediaTime(1, 30));
    }
    // A picture of twice the size is scaled to the session's.
    encodeAndWait(*session, collector, twoColourPicture(640, 480, orange, teal), MediaTime(4, 30),
                  MediaTime(1, 30));
    ASSERT_EQ(session->completeFrames(MediaTime::invalid()), 0);
    const std::vector<MediaSamplePtr> samples = collector.samples();
    ASSERT_EQ(samples.size(), 5u);

    auto decoder = FfmpegFrameDecoder::create(*samples.front()->formatDescription());
    ASSERT_NE(decoder, nullptr);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ImageBufferPtr decoded;
        ASSERT_EQ(decoder->decode(*samples[i], &decoded), 0) << "frame " << i;
        ASSERT_NE(decoded, nullptr) << "frame " << i << " decodes at once";
        EXPECT_EQ(decoded->width(), 320);
        EXPECT_EQ(decoded->height(), 240);
        expectColourNear(pixelAt(*decoded, 80, 120), orange, "left half");
        expectColourNear(pixelAt(*decoded, 240, 120), teal, "right half");
    }
}

TEST(FfmpegCompressionSession, OddTinyAndLargeSizesDecodeToExactlyTheirSize) {
    const Bgra orange{30, 120, 230};
    const Bgra teal{170, 140, 20};
    const struct {
        int width;
        int height;
        int frames;
    } sizes[] = {{1919, 1079, 3}, {641, 359, 3}, {2, 2, 2}, {1, 1, 2}, {4096, 2160, 1}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        OutputCollector collector;
        auto session = recorderLikeSession(collector, size.width, size.height);
        ASSERT_NE(session, nullptr);
        const ImageBufferPtr picture = twoColourPicture(size.width, size.height, orange, teal);
        for (int i = 0; i < size.frames; ++i) {
            encodeAndWait(*session, collector, picture, MediaTime(i, 30), MediaTime(1, 30));
        }
        ASSERT_EQ(session->completeFrames(MediaTime::invalid()), 0);
        const std::vector<MediaSamplePtr> samples = collector.samples();
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(size.frames));
        EXPECT_EQ(samples.front()->formatDescription()->videoDimensions().width, size.width);
        EXPECT_EQ(samples.front()->formatDescription()->videoDimensions().height, size.height);

        auto decoder = FfmpegFrameDecoder::create(*samples.front()->formatDescription());
        ASSERT_NE(decoder, nullptr);
        for (const MediaSamplePtr& sample : samples) {
            ImageBufferPtr decoded;
            ASSERT_EQ(decoder->decode(*sample, &decoded), 0);
            ASSERT_NE(decoded, nullptr);
            EXPECT_EQ(decoded->width(), size.width);
            EXPECT_EQ(decoded->height(), size.height);
            if (size.width > 16) {
                // The last column and row are picture, not padding.
                expectColourNear(pixelAt(*decoded, size.width - 1, size.height - 1), teal, "bottom-right");
                expectColourNear(pixelAt(*decoded, 0, size.height - 1), orange, "bottom-left");
            }
        }
    }
}

TEST(FfmpegCompressionSession, TheFirstKeyFrameDecodesWithTheParameterSetsAlone) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector);
    ASSERT_NE(session, nullptr);
    for (int i = 0; i < 20; ++i) {
        encodeAndWait(*session, collector, movingPicture(320, 240, i), MediaTime(i, 30), MediaTime(1, 30));
    }
    session->invalidate();
    const std::vector<MediaSamplePtr> samples = collector.samples();
    ASSERT_EQ(samples.size(), 20u);
    // A clip starts at a key frame in the middle of the stream: the key frame at 0.5 s must decode
    // with nothing before it but the format's parameter sets.
    ASSERT_TRUE(isKeyframe(*samples[15]));
    auto decoder = FfmpegFrameDecoder::create(*samples[15]->formatDescription());
    ASSERT_NE(decoder, nullptr);
    ImageBufferPtr decoded;
    ASSERT_EQ(decoder->decode(*samples[15], &decoded), 0);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->width(), 320);
    EXPECT_EQ(decoded->height(), 240);
}

TEST(FfmpegCompressionSession, KeyFramesComeAtLeastEveryHalfSecondAtThirtyFramesPerSecond) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector);
    ASSERT_NE(session, nullptr);
    for (int i = 0; i < 46; ++i) {
        encodeAndWait(*session, collector, movingPicture(320, 240, i), MediaTime(i * 3000, kTimeScale),
                      MediaTime(3000, kTimeScale));
    }
    session->invalidate();
    const std::vector<int> keys = keyFrameIndices(collector.samples());
    ASSERT_GE(keys.size(), 4u);
    EXPECT_EQ(keys.front(), 0);
    for (std::size_t i = 1; i < keys.size(); ++i) {
        EXPECT_LE(keys[i] - keys[i - 1], 15) << "between key frames " << keys[i - 1] << " and " << keys[i];
    }
}

TEST(FfmpegCompressionSession, APtsJumpOfMoreThanHalfASecondForcesAKeyFrame) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector);
    ASSERT_NE(session, nullptr);
    // Three frames at 30 fps, then the screen stood still for 0.6 s, then three more frames.
    const std::vector<double> times = {
        0.0, 1 / 30.0, 2 / 30.0, 2 / 30.0 + 0.6, 2 / 30.0 + 0.6 + 1 / 30.0, 2 / 30.0 + 0.6 + 2 / 30.0};
    for (std::size_t i = 0; i < times.size(); ++i) {
        encodeAndWait(*session, collector, movingPicture(320, 240, static_cast<int>(i)),
                      MediaTime::makeWithSeconds(times[i], kTimeScale), MediaTime(3000, kTimeScale));
    }
    session->invalidate();
    EXPECT_EQ(keyFrameIndices(collector.samples()), (std::vector<int>{0, 3}));
}

// MARK: lifetime and back pressure

TEST(FfmpegCompressionSession, ABurstDropsFramesInsteadOfQueueingThem) {
    OutputCollector collector;
    auto session = recorderLikeSession(collector, 1280, 720);
    ASSERT_NE(session, nullptr);
    std::vector<ImageBufferPtr> pictures;
    for (int i = 0; i < 4; ++i) {
        pictures.push_back(movingPicture(1280, 720, i));
    }
    constexpr int kFrames = 40;
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(session->encodeFrame(pictures[static_cast<std::size_t>(i) % pictures.size()],
                                       MediaTime(i, 30), MediaTime(1, 30)),
                  0)
            << "a dropped frame is no error";
    }
    ASSERT_EQ(session->completeFrames(MediaTime::invalid()), 0);

    const std::vector<MediaSamplePtr> samples = collector.samples();
    EXPECT_EQ(collector.errors(), 0);
    EXPECT_GT(collector.drops(), 0) << "the encoder cannot keep up with a burst";
    EXPECT_GE(samples.size(), FfmpegCompressionService::kMaxPendingFrames)
        << "the queued frames were encoded";
    EXPECT_EQ(static_cast<int>(samples.size()) + collector.drops(), kFrames)
        << "every frame is accounted for";
    for (std::size_t i = 1; i < samples.size(); ++i) {
        EXPECT_LT(samples[i - 1]->presentationTime(), samples[i]->presentationTime());
    }
}

TEST(FfmpegCompressionSession, NothingReachesTheCallbackAfterInvalidate) {
    std::atomic<bool> invalidated{false};
    std::atomic<int> lateOutputs{0};
    struct Context {
        std::atomic<bool>* invalidated;
        std::atomic<int>* lateOutputs;
    } context{&invalidated, &lateOutputs};
    auto callback = [](void* refcon, std::int32_t, const MediaSamplePtr&) {
        auto* state = static_cast<Context*>(refcon);
        if (state->invalidated->load()) {
            state->lateOutputs->fetch_add(1);
        }
        std::this_thread::sleep_for(2ms); // a slow consumer widens the window
    };
    FfmpegCompressionService service;
    std::shared_ptr<CompressionSession> session;
    ASSERT_EQ(service.createSession(640, 480, codec::h264, nullptr, callback, &context, &session), 0);
    ASSERT_EQ(session->prepareToEncodeFrames(), 0);
    const ImageBufferPtr picture = movingPicture(640, 480, 0);
    for (int i = 0; i < 10; ++i) {
        session->encodeFrame(picture, MediaTime(i, 30), MediaTime(1, 30));
    }
    session->invalidate();
    invalidated = true;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(lateOutputs.load(), 0);
    EXPECT_EQ(session->encodeFrame(picture, MediaTime(11, 30), MediaTime(1, 30)),
              compression_status::kInvalidSession);
    EXPECT_EQ(session->completeFrames(MediaTime::invalid()), compression_status::kInvalidSession);
    session->invalidate(); // a second time changes nothing
    session.reset();       // nor does the destructor's
    EXPECT_EQ(lateOutputs.load(), 0);
}

TEST(FfmpegCompressionSession, ASessionThatNeverEncodedCompletesAndCloses) {
    OutputCollector collector;
    FfmpegCompressionService service;
    std::shared_ptr<CompressionSession> session;
    ASSERT_EQ(service.createSession(320, 240, codec::h264, nullptr, OutputCollector::callback, &collector,
                                    &session),
              0);
    EXPECT_EQ(session->completeFrames(MediaTime::invalid()), 0);
    session->invalidate();
    EXPECT_TRUE(collector.outputs().empty());
}
