#include "capture/FramePipeline.h"

#include "capture/AudioCapture.h"
#include "support/synthetic/SyntheticAudioCodec.h"

#include <gtest/gtest.h>
#include <vector>

using namespace backreel;

namespace {

// Takes what it is given, or, while full, nothing.
class RecordingEncoder final : public VideoEncoder {
public:
    bool encode(const VideoFrame& frame) override {
        if (full) {
            return false;
        }
        frames.push_back(frame);
        return true;
    }
    void finish() override {}
    void close() override {}
    const VideoStreamFormat& format() const override { return format_; }

    std::vector<VideoFrame> frames;
    bool full = false;

private:
    VideoStreamFormat format_;
};

// A sound source the test hands pieces to.
class HandAudioSource final : public AudioSource {
public:
    MaybeError start(const AudioFormat&, AudioHandler onAudio, StateHandler) override {
        handler = std::move(onAudio);
        return std::nullopt;
    }
    void stop() override { handler = nullptr; }
    AudioHandler handler;
};

class HandAudioService final : public AudioService {
public:
    Expected<AudioInventory> inventory() override { return AudioInventory{}; }
    std::unique_ptr<AudioSource> makeSource(const AudioInput&) override {
        auto source = std::make_unique<HandAudioSource>();
        last = source.get();
        return source;
    }
    HandAudioSource* last = nullptr;
};

struct Fixture {
    std::shared_ptr<RecordingEncoder> encoder = std::make_shared<RecordingEncoder>();
    std::shared_ptr<MediaStores> stores =
        MediaStores::create(11, MemoryLimit::defaultLimit(), Logger::recording());
    FramePipeline pipeline{encoder, Logger::recording()};
};

// A codec whose encoder does not open.
class MissingCodecs final : public AudioCodecService {
public:
    Expected<std::unique_ptr<AudioEncoder>> encoder(const AudioStreamFormat&, AudioOrigin) override {
        return Error(QStringLiteral("no AAC here"));
    }
    Expected<std::unique_ptr<AudioDecoder>> decoder(const AudioStreamFormat&) override {
        return Error(QStringLiteral("no AAC here"));
    }
};

struct AudioFixture {
    explicit AudioFixture(
        std::shared_ptr<AudioCodecService> codecs = std::make_shared<SyntheticAudioCodecService>()) {
        capture.start(&service, std::move(codecs), {},
                      [this](const std::optional<Error>& lost) { told.push_back(lost); });
    }
    std::shared_ptr<MediaStores> stores =
        MediaStores::create(11, MemoryLimit::defaultLimit(), Logger::recording());
    HandAudioService service;
    AudioCapture capture{stores, AudioOrigin::system, Logger::recording()};
    std::vector<std::optional<Error>> told;
    void hand(const AudioView& view) { service.last->handler(view); }
};

} // namespace

// Frames at ticks of 1/30 s; tick 1 brings a picture, ticks 2 to 40 none, tick 41 a new one.
TEST(FramePipeline, PicturesGoToTheEncoderAndAStillOneIsShownAgainAsAKeyFrameEveryHalfSecond) {
    Fixture f;
    const MediaTime tick(1, 30);
    const ImageBufferPtr first = ImageBuffer::allocate(4, 4);
    const ImageBufferPtr second = ImageBuffer::allocate(4, 4);
    f.pipeline.takeFrame(VideoFrame{nullptr, MediaTime(0, 30), tick}); // nothing to show yet
    f.pipeline.takeFrame(VideoFrame{first, MediaTime(1, 30), tick});
    for (int i = 2; i <= 40; ++i) {
        f.pipeline.takeFrame(VideoFrame{nullptr, MediaTime(i, 30), tick});
    }
    f.pipeline.takeFrame(VideoFrame{second, MediaTime(41, 30), tick});
    f.pipeline.takeFrame(VideoFrame{nullptr, MediaTime(42, 30), tick});
    f.pipeline.takeFrame(VideoFrame{nullptr, MediaTime(43, 30), tick});
    // The capture stopped: the still picture lasts until its last tick, once.
    f.pipeline.finish();
    f.pipeline.finish();

    // The picture (passed on, not copied), the time in thirtieths, key frame, repeat.
    const std::tuple<ImageBufferPtr, int, bool, bool> expected[] = {
        {first, 1, false, false}, {first, 16, true, true},     {first, 31, true, true},
        {second, 41, false, false}, {second, 43, false, true}};
    ASSERT_EQ(f.encoder->frames.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const VideoFrame& frame = f.encoder->frames[i];
        const auto& [image, time, keyFrame, repeat] = expected[i];
        EXPECT_TRUE(frame.image == image && frame.presentationTime == MediaTime(time, 30) && frame.duration == tick &&
                    frame.keyFrame == keyFrame && frame.repeat == repeat)
            << "frame " << i;
    }
    EXPECT_EQ(f.pipeline.framesIn(), 2) << "the pictures that came from the capture";

    Fixture g;
    const ImageBufferPtr picture = ImageBuffer::allocate(4, 4);
    g.pipeline.takeFrame(VideoFrame{picture, MediaTime(1, 30), MediaTime(1, 30)});
    g.encoder->full = true;
    g.pipeline.takeFrame(VideoFrame{picture, MediaTime(2, 30), MediaTime(1, 30)});
    g.pipeline.takeFrame(VideoFrame{picture, MediaTime(3, 30), MediaTime(1, 30)});
    g.encoder->full = false;
    g.pipeline.takeFrame(VideoFrame{picture, MediaTime(4, 30), MediaTime(1, 30)});
    EXPECT_EQ(g.pipeline.framesIn(), 4);
    EXPECT_EQ(g.pipeline.framesDropped(), 2);
    EXPECT_EQ(g.encoder->frames.size(), 2u);
}

// Audio is stored as a copy that outlives the source's buffer; empty audio is not stored; sound
// that cannot be compressed is a loss.
TEST(AudioCapture, AudioIsStoredAsACopyThatOutlivesTheSourcesBuffer) {
    AudioFixture f;
    f.hand(AudioView{{}, 2, 48000, MediaTime(6, 1)});
    std::vector<float> borrowed{0.5f, -0.5f, 0.25f, -0.25f};
    f.hand(AudioView{borrowed, 2, 48000, MediaTime(7, 1)});
    borrowed.assign(borrowed.size(), 0.0f); // the source reuses its buffer

    const std::vector<AudioPacket> stored = f.stores->audio()->snapshot();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].presentationTime, MediaTime(7, 1));
    std::vector<float> kept(4);
    ASSERT_EQ(stored[0].data->size(), sizeof(float) * kept.size());
    std::memcpy(kept.data(), stored[0].data->data(), stored[0].data->size());
    EXPECT_EQ(kept, (std::vector<float>{0.5f, -0.5f, 0.25f, -0.25f}));
    EXPECT_EQ(f.capture.chunksIn(), 2);
    EXPECT_TRUE(f.told.empty());

    // Sound that cannot be compressed is lost, and said to be, once; the picture goes on.
    AudioFixture broken(std::make_shared<MissingCodecs>());
    broken.hand(AudioView{borrowed, 2, 48000, MediaTime(7, 1)});
    broken.hand(AudioView{borrowed, 2, 48000, MediaTime(8, 1)});
    ASSERT_EQ(broken.told.size(), 1u);
    EXPECT_EQ(broken.told[0]->description, QStringLiteral("The sound cannot be compressed: no AAC here"));
    EXPECT_EQ(broken.stores->audio()->count(), 0u);
}
