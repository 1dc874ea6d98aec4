#include "capture/CaptureDelegate.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace backreel;

namespace {

class CountingSession final : public CompressionSession {
public:
    std::int32_t setProperty(CompressionProperty, const PropertyValue&) override { return 0; }
    std::int32_t prepareToEncodeFrames() override { return 0; }
    std::int32_t encodeFrame(const ImageBufferPtr&, MediaTime pts, MediaTime duration) override {
        submitted.push_back({pts, duration});
        return 0;
    }
    std::int32_t completeFrames(MediaTime) override { return 0; }
    void invalidate() override {}

    std::vector<std::pair<MediaTime, MediaTime>> submitted;
};

class NoStream final : public CaptureStream {
public:
    MaybeError addStreamOutput(std::shared_ptr<StreamOutput>, StreamOutputType, SerialQueue&) override {
        return std::nullopt;
    }
    void startCapture(CaptureCompletion) override {}
    void stopCapture(CaptureCompletion) override {}
};

struct Fixture {
    std::shared_ptr<CountingSession> session = std::make_shared<CountingSession>();
    std::shared_ptr<AudioRingBuffer> audio = AudioRingBuffer::create();
    CaptureDelegate delegate{session, audio, Logger::recording()};
    NoStream stream;
    ImageBufferPtr image = ImageBuffer::allocate(4, 4);

    void frame(int index, bool withImage = true) {
        delegate.didOutputSampleBuffer(
            stream,
            SyntheticCaptureStream::makeScreenSample(withImage ? image : nullptr, MediaTime(index, 30), MediaTime(1, 30)),
            StreamOutputType::screen);
    }
    void audioSample(int index, bool asList = false) {
        delegate.didOutputSampleBuffer(
            stream, SyntheticCaptureStream::makeAudioSample(MediaTime(index * 480, 48000), 480, asList, 0),
            StreamOutputType::audio);
    }
};

MediaSamplePtr audioWithBytes(std::vector<float> values, bool asList) {
    auto storage = std::make_shared<std::vector<float>>(std::move(values));
    const auto* base = reinterpret_cast<const std::byte*>(storage->data());
    const std::size_t length = storage->size() * sizeof(float);
    AudioStreamBasicDescription asbd;
    asbd.sampleRate = 48000;
    asbd.channelsPerFrame = 1;
    asbd.bitsPerChannel = 32;
    asbd.bytesPerFrame = 4;
    asbd.bytesPerPacket = 4;
    asbd.framesPerPacket = 1;
    asbd.formatFlags = AudioStreamBasicDescription::kFormatFlagIsFloat;
    MediaSample::Parts parts;
    parts.formatDescription = FormatDescription::audio(asbd);
    parts.numSamples = static_cast<std::int64_t>(storage->size());
    parts.timing = {SampleTimingInfo{MediaTime(1, 48000), MediaTime(7, 1), MediaTime::invalid()}};
    parts.sizes = {4};
    BlockBufferPtr block = BlockBuffer::fromSegments({{storage, base, length}});
    if (asList) {
        parts.audioBufferList = AudioBufferList{{1, base, length}};
        parts.listBlock = block;
    } else {
        parts.dataBuffer = block;
    }
    return MediaSample::make(std::move(parts));
}

float firstFloat(const MediaSample& sample) {
    float value = 0;
    std::vector<std::byte> bytes(sizeof(float));
    EXPECT_EQ(sample.dataBuffer()->copyDataBytes(0, bytes), 0);
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

} // namespace

TEST(CaptureDelegate, ScreenFramesAreSubmittedAndTracedSparsely) {
    test::LogCapture log;
    Fixture f;
    f.frame(0, false);
    EXPECT_EQ(f.delegate.videoFramesIn(), 0) << "a frame without a picture is not counted";
    EXPECT_TRUE(f.session->submitted.empty());

    for (int i = 1; i <= 270; ++i) {
        f.frame(i);
    }
    EXPECT_EQ(f.delegate.videoFramesIn(), 270);
    ASSERT_EQ(f.session->submitted.size(), 270u);
    EXPECT_EQ(f.session->submitted[0].first, MediaTime(1, 30));
    EXPECT_EQ(f.session->submitted[0].second, MediaTime(1, 30));
    EXPECT_EQ(log.count(QStringLiteral("[Capture] First video frame: PTS=0.033s dur=0.0333s")), 1);
    EXPECT_EQ(log.levelOf(QStringLiteral("[Capture] First video frame: PTS=0.033s dur=0.0333s")), QtInfoMsg);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[Capture] Video frame ")), 3);
    EXPECT_EQ(log.count(QStringLiteral("[Capture] Video frame 90: PTS=3.000s")), 1);
    EXPECT_EQ(log.levelOf(QStringLiteral("[Capture] Video frame 180: PTS=6.000s")), QtDebugMsg);
    EXPECT_EQ(log.count(QStringLiteral("[Capture] Video frame 270: PTS=9.000s")), 1);
}

TEST(CaptureDelegate, AudioIsCopiedStoredAndTraced) {
    test::LogCapture log;
    Fixture f;
    for (int i = 0; i < 200; ++i) {
        f.audioSample(i, i % 2 == 1);
    }
    EXPECT_EQ(f.delegate.audioSamplesIn(), 200);
    EXPECT_EQ(f.audio->count(), 200u) << "the capacity (11 s) holds 2 s of audio";
    EXPECT_EQ(log.count(QStringLiteral("[Capture] First audio callback: PTS=0.000s frames=480")), 1);
    EXPECT_EQ(log.count(QStringLiteral(
                  "[Capture] Audio ASBD: 48000.000000Hz 2ch 32bit float non-interleaved bpf=4 bpp=4 fpp=1")),
              1);
    EXPECT_EQ(log.count(QStringLiteral("[Capture] Audio sample 100: PTS=0.990s ringCount=99")), 1);
    EXPECT_EQ(log.levelOf(QStringLiteral("[Capture] Audio sample 200: PTS=1.990s ringCount=199")), QtDebugMsg);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[Capture] Audio sample")), 2);

    const MediaSamplePtr stored = f.audio->snapshot().front();
    EXPECT_TRUE(stored->dataBuffer()->isContiguous());
    EXPECT_EQ(stored->dataBuffer()->dataLength(), 480u * 2 * sizeof(float));
}

TEST(CaptureDelegate, OtherOutputTypesAreIgnored) {
    Fixture f;
    f.delegate.didOutputSampleBuffer(f.stream, SyntheticCaptureStream::makeAudioSample(MediaTime(0, 1), 480, false, 0),
                                     StreamOutputType::microphone);
    EXPECT_EQ(f.delegate.audioSamplesIn(), 0);
    EXPECT_EQ(f.audio->count(), 0u);
}

TEST(DeepCopyAudioSample, TheCopyOwnsItsBytesWhicheverWayTheyCame) {
    test::LogCapture log;
    for (bool asList : {false, true}) {
        std::vector<float> values{0.5f, -0.25f, 0.125f};
        MediaSamplePtr source = audioWithBytes(values, asList);
        MediaSamplePtr copy = deepCopyAudioSample(*source, Logger::recording());
        ASSERT_TRUE(copy) << "asList=" << asList;

        // Overwrite the producer's bytes: the copy must not change.
        const BlockBufferPtr& sourceBlock = asList ? nullptr : source->dataBuffer();
        AudioBufferList list;
        BlockBufferPtr retained = sourceBlock;
        if (asList) {
            std::size_t needed = 0;
            source->audioBufferListWithRetainedBlockBuffer(&needed, nullptr, 0, nullptr);
            source->audioBufferListWithRetainedBlockBuffer(nullptr, &list, needed, &retained);
        }
        const std::byte* pointer = nullptr;
        retained->dataPointer(0, nullptr, nullptr, &pointer);
        std::memset(const_cast<std::byte*>(pointer), 0xFF, retained->dataLength());

        EXPECT_EQ(firstFloat(*copy), 0.5f);
        EXPECT_EQ(copy->formatDescription(), source->formatDescription());
        EXPECT_EQ(copy->numSamples(), 3);
        EXPECT_EQ(copy->presentationTime(), MediaTime(7, 1));
        std::size_t sizeCount = 0;
        copy->sampleSizeArray(0, nullptr, &sizeCount);
        EXPECT_EQ(sizeCount, 1u);
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST(DeepCopyAudioSample, FailuresAreLoggedWithTheirReason) {
    test::LogCapture log;
    MediaSample::Parts noFormat;
    noFormat.dataBuffer = BlockBuffer::fromBytes(std::vector<std::byte>(4));
    EXPECT_FALSE(deepCopyAudioSample(*MediaSample::make(std::move(noFormat)), Logger::recording()));
    EXPECT_EQ(log.count(QStringLiteral("[DeepCopy] No format description")), 1);

    MediaSample::Parts noData;
    noData.formatDescription = FormatDescription::audio({});
    EXPECT_FALSE(deepCopyAudioSample(*MediaSample::make(std::move(noData)), Logger::recording()));
    EXPECT_EQ(log.count(QStringLiteral("[DeepCopy] Could not obtain block buffer")), 1);

    log.clear();
    // An empty buffer fails the copy with only the delegate's line.
    Fixture f;
    f.delegate.didOutputSampleBuffer(f.stream, audioWithBytes({}, false), StreamOutputType::audio);
    EXPECT_EQ(f.audio->count(), 0u);
    EXPECT_EQ(log.count(QStringLiteral("[Capture] Audio deep copy failed at sample 1")), 1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[DeepCopy]")), 0);
}
