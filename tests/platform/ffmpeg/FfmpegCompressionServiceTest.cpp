#include "platform/ffmpeg/FfmpegCompressionService.h"

#include "capture/VideoCompression.h"
#include "export/ClipSelection.h"
#include "platform/ffmpeg/FfmpegEncoder.h"
#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "platform/ffmpeg/KeyFrameSchedule.h"
#include "support/LogCapture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <QCoroTask>
#include <thread>
#include <vector>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

// Everything a session hands to its output callback, in order.
class OutputCollector {
public:
    struct Output {
        std::int32_t status = 0;
        MediaSamplePtr sample;
    };

    static void callback(void* refcon, std::int32_t status, const MediaSamplePtr& sample) {
        static_cast<OutputCollector*>(refcon)->add(status, sample);
    }

    void add(std::int32_t status, const MediaSamplePtr& sample) {
        {
            std::lock_guard lock(mutex_);
            outputs_.push_back(Output{status, sample});
        }
        changed_.notify_all();
    }

    // True once at least count outputs arrived; gives up after a few seconds.
    bool waitForOutputs(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return outputs_.size() >= count; });
    }

    std::vector<Output> outputs() const {
        std::lock_guard lock(mutex_);
        return outputs_;
    }

    std::vector<MediaSamplePtr> samples() const {
        std::vector<MediaSamplePtr> result;
        for (const Output& output : outputs()) {
            if (output.status == 0 && output.sample) {
                result.push_back(output.sample);
            }
        }
        return result;
    }

    int drops() const {
        int count = 0;
        for (const Output& output : outputs()) {
            count += output.status == 0 && !output.sample ? 1 : 0;
        }
        return count;
    }

    int errors() const {
        int count = 0;
        for (const Output& output : outputs()) {
            count += output.status != 0 ? 1 : 0;
        }
        return count;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Output> outputs_;
};

struct Bgra {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
};

// A screen-like picture that changes with frameNumber: a gradient that drifts, and a white square
// that moves across it.
ImageBufferPtr movingPicture(int width, int height, int frameNumber) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    auto* pixels = reinterpret_cast<std::uint8_t*>(image->mutableBaseAddress());
    const int squareX = (frameNumber * 6) % (width - 32);
    const int squareY = (frameNumber * 4) % (height - 32);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + static_cast<std::size_t>(y) * image->bytesPerRow();
        for (int x = 0; x < width; ++x) {
            const bool inSquare = x >= squareX && x < squareX + 32 && y >= squareY && y < squareY + 32;
            std::uint8_t* pixel = row + 4 * x;
            pixel[0] = inSquare ? 255 : static_cast<std::uint8_t>((x + frameNumber * 3) & 0xFF);
            pixel[1] = inSquare ? 255 : static_cast<std::uint8_t>((y * 2) & 0xFF);
            pixel[2] = inSquare ? 255 : static_cast<std::uint8_t>((x + y) & 0xFF);
            pixel[3] = 255;
        }
    }
    return image;
}

// Left half one colour, right half another.
ImageBufferPtr twoColourPicture(int width, int height, Bgra left, Bgra right) {
    ImageBufferPtr image = ImageBuffer::allocate(width, height);
    auto* pixels = reinterpret_cast<std::uint8_t*>(image->mutableBaseAddress());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgra colour = x < width / 2 ? left : right;
            std::uint8_t* pixel = pixels + static_cast<std::size_t>(y) * image->bytesPerRow() + 4 * x;
            pixel[0] = colour.blue;
            pixel[1] = colour.green;
            pixel[2] = colour.red;
            pixel[3] = 255;
        }
    }
    return image;
}

Bgra pixelAt(const ImageBuffer& image, int x, int y) {
    const auto* pixel = reinterpret_cast<const std::uint8_t*>(image.baseAddress()) +
                        static_cast<std::size_t>(y) * image.bytesPerRow() + 4 * x;
    return Bgra{pixel[0], pixel[1], pixel[2]};
}

void expectColourNear(Bgra actual, Bgra expected, const char* where) {
    constexpr int kTolerance = 12; // YUV 4:2:0 round trip through a lossy encoder
    EXPECT_NEAR(actual.blue, expected.blue, kTolerance) << where << ": blue";
    EXPECT_NEAR(actual.green, expected.green, kTolerance) << where << ": green";
    EXPECT_NEAR(actual.red, expected.red, kTolerance) << where << ": red";
}

std::vector<int> keyFrameIndices(const std::vector<MediaSamplePtr>& samples) {
    std::vector<int> indices;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (isKeyframe(*samples[i])) {
            indices.push_back(static_cast<int>(i));
        }
    }
    return indices;
}

// An H.264 session set up the way the recorder sets one up, its output going to the collector.
std::shared_ptr<CompressionSession> recorderLikeSession(OutputCollector& collector, int width = 320,
                                                        int height = 240) {
    FfmpegCompressionService service;
    std::shared_ptr<CompressionSession> session;
    const std::int32_t status = service.createSession(width, height, codec::h264, nullptr,
                                                      OutputCollector::callback, &collector, &session);
    EXPECT_EQ(status, 0);
    if (!session) {
        return nullptr;
    }
    EXPECT_EQ(session->setProperty(CompressionProperty::realTime, true), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::averageBitRate, std::int64_t{2'000'000}), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::allowFrameReordering, false), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameInterval, std::int64_t{30}), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::maxKeyFrameIntervalDuration, 0.5), 0);
    EXPECT_EQ(session->setProperty(CompressionProperty::profileLevel, ProfileLevel::h264HighAutoLevel), 0);
    EXPECT_EQ(session->prepareToEncodeFrames(), 0);
    return session;
}

// Submits one frame and waits for its output, so that nothing is dropped.
void encodeAndWait(CompressionSession& session, OutputCollector& collector, const ImageBufferPtr& image,
                   MediaTime pts, MediaTime duration) {
    const std::size_t before = collector.outputs().size();
    ASSERT_EQ(session.encodeFrame(image, pts, duration), 0);
    ASSERT_TRUE(collector.waitForOutputs(before + 1))
        << "no output for the frame at " << pts.seconds() << " s";
}

} // namespace

// MARK: creation

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

TEST(FfmpegCompressionService, OnlyOddSidesNeedFullChromaAndFfmpegBoundsTheSize) {
    EXPECT_FALSE(needsFullChroma(1920, 1080));
    EXPECT_TRUE(needsFullChroma(1919, 1080));
    EXPECT_TRUE(needsFullChroma(1920, 1079));
    EXPECT_TRUE(isEncodableSize(1, 1));
    EXPECT_TRUE(isEncodableSize(16384, 2));
    EXPECT_FALSE(isEncodableSize(16384, 16384)) << "more than FFmpeg allocates for one frame";
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

// MARK: frames

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

// MARK: key-frame schedule

TEST(KeyFrameSchedule, FirstFrameIsAlwaysKey) {
    KeyFrameSchedule schedule(30, 45000);
    EXPECT_TRUE(schedule.shouldForceKeyFrame(0, 123456));
    EXPECT_FALSE(schedule.shouldForceKeyFrame(1, 126456));
}

TEST(KeyFrameSchedule, FrameCountLimit) {
    KeyFrameSchedule schedule(4, 0);
    std::vector<int> forced;
    for (int i = 0; i < 10; ++i) {
        if (schedule.shouldForceKeyFrame(i, i * 3000)) {
            forced.push_back(i);
        }
    }
    EXPECT_EQ(forced, (std::vector<int>{0, 4, 8}));
}

TEST(KeyFrameSchedule, DurationLimitCountsPtsNotFrames) {
    KeyFrameSchedule schedule(0, 45000);
    const std::int64_t ticks[] = {0, 3000, 6000, 51000, 54000, 95999, 96000, 200000};
    std::vector<std::int64_t> forced;
    std::int64_t index = 0;
    for (const std::int64_t tick : ticks) {
        if (schedule.shouldForceKeyFrame(index++, tick)) {
            forced.push_back(tick);
        }
    }
    EXPECT_EQ(forced, (std::vector<std::int64_t>{0, 51000, 96000, 200000}));
}

TEST(KeyFrameSchedule, KeyFramesTheEncoderMadeRestartTheCount) {
    KeyFrameSchedule schedule(10, 0);
    EXPECT_TRUE(schedule.shouldForceKeyFrame(0, 0));
    for (int i = 1; i < 6; ++i) {
        EXPECT_FALSE(schedule.shouldForceKeyFrame(i, i));
    }
    schedule.noteKeyFrame(5, 5); // a scene cut
    schedule.noteKeyFrame(2, 2); // late news of an older one changes nothing
    for (int i = 6; i < 15; ++i) {
        EXPECT_FALSE(schedule.shouldForceKeyFrame(i, i)) << i;
    }
    EXPECT_TRUE(schedule.shouldForceKeyFrame(15, 15));
}
