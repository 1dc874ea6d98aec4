#include "capture/CaptureDelegate.h"

#include <gtest/gtest.h>
#include <vector>

using namespace backreel;

namespace {

class RecordingEncoder final : public VideoEncoder {
public:
    void encode(const VideoFrame& frame) override { frames.push_back(frame); }
    void finish() override {}
    void close() override {}
    const VideoStreamFormat& format() const override { return format_; }

    std::vector<VideoFrame> frames;

private:
    VideoStreamFormat format_;
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
    std::shared_ptr<RecordingEncoder> encoder = std::make_shared<RecordingEncoder>();
    std::shared_ptr<MediaStores> stores =
        MediaStores::create(11, MemoryLimit::defaultLimit(), Logger::recording());
    std::shared_ptr<AudioRingBuffer> audio = stores->audio();
    CaptureDelegate delegate{encoder, stores, Logger::recording()};
    NoStream stream;
};

} // namespace

// Frames at ticks of 1/30 s; tick 1 brings a picture, ticks 2 to 40 none, tick 41 a new one.
TEST(CaptureDelegate, PicturesGoToTheEncoderAndAStillOneIsShownAgainAsAKeyFrameEveryHalfSecond) {
    Fixture f;
    const MediaTime tick(1, 30);
    const ImageBufferPtr first = ImageBuffer::allocate(4, 4);
    const ImageBufferPtr second = ImageBuffer::allocate(4, 4);
    f.delegate.didOutputVideoFrame(f.stream,
                                   VideoFrame{nullptr, MediaTime(0, 30), tick}); // nothing to show yet
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{first, MediaTime(1, 30), tick});
    for (int i = 2; i <= 40; ++i) {
        f.delegate.didOutputVideoFrame(f.stream, VideoFrame{nullptr, MediaTime(i, 30), tick});
    }
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{second, MediaTime(41, 30), tick});
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{nullptr, MediaTime(42, 30), tick});
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{nullptr, MediaTime(43, 30), tick});
    // The capture stopped: the still picture lasts until its last tick, once.
    f.delegate.finishVideo();
    f.delegate.finishVideo();

    struct Expected {
        ImageBufferPtr image;
        MediaTime time;
        bool keyFrame;
        bool repeat;
    };
    const std::vector<Expected> expected = {{first, MediaTime(1, 30), false, false},
                                            {first, MediaTime(16, 30), true, true},
                                            {first, MediaTime(31, 30), true, true},
                                            {second, MediaTime(41, 30), false, false},
                                            {second, MediaTime(43, 30), false, true}};
    ASSERT_EQ(f.encoder->frames.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(f.encoder->frames[i].image, expected[i].image)
            << "frame " << i << ": passed on, not copied";
        EXPECT_EQ(f.encoder->frames[i].presentationTime, expected[i].time) << "frame " << i;
        EXPECT_EQ(f.encoder->frames[i].duration, tick) << "frame " << i;
        EXPECT_EQ(f.encoder->frames[i].keyFrame, expected[i].keyFrame) << "frame " << i;
        EXPECT_EQ(f.encoder->frames[i].repeat, expected[i].repeat) << "frame " << i;
    }
    EXPECT_EQ(f.delegate.videoFramesIn(), 2) << "the pictures that came from the capture";
}

TEST(CaptureDelegate, AudioIsStoredAsACopyThatOutlivesTheCapturesBuffer) {
    Fixture f;
    std::vector<float> borrowed{0.5f, -0.5f, 0.25f, -0.25f};
    f.delegate.didOutputAudio(f.stream, AudioView{borrowed, 2, 48000, MediaTime(7, 1)});
    borrowed.assign(borrowed.size(), 0.0f); // the capture reuses its buffer

    const std::vector<AudioChunk> stored = f.audio->snapshot();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].frameCount(), 2);
    EXPECT_EQ(stored[0].presentationTime, MediaTime(7, 1));
    EXPECT_EQ(std::vector<float>(stored[0].view().begin(), stored[0].view().end()),
              (std::vector<float>{0.5f, -0.5f, 0.25f, -0.25f}));
}

TEST(CaptureDelegate, EmptyAudioIsCountedButNotStored) {
    Fixture f;
    f.delegate.didOutputAudio(f.stream, AudioView{{}, 2, 48000, MediaTime(1, 1)});
    const std::vector<float> one{0.1f, 0.1f};
    f.delegate.didOutputAudio(f.stream, AudioView{one, 2, 48000, MediaTime(2, 1)});
    EXPECT_EQ(f.delegate.audioChunksIn(), 2);
    EXPECT_EQ(f.audio->count(), 1u);
}
