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

TEST(CaptureDelegate, FramesGoToTheEncoderWithTheirTimesAndEmptyFramesAreSkipped) {
    Fixture f;
    const ImageBufferPtr image = ImageBuffer::allocate(4, 4);
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{image, MediaTime(1, 30), MediaTime(1, 30)});
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{nullptr, MediaTime(2, 30), MediaTime(1, 30)});
    f.delegate.didOutputVideoFrame(f.stream, VideoFrame{image, MediaTime(3, 30), MediaTime(1, 30)});

    ASSERT_EQ(f.encoder->frames.size(), 2u);
    EXPECT_EQ(f.encoder->frames[0].image, image) << "passed by reference, not copied";
    EXPECT_EQ(f.encoder->frames[1].presentationTime, MediaTime(3, 30));
    EXPECT_EQ(f.encoder->frames[1].duration, MediaTime(1, 30));
    EXPECT_EQ(f.delegate.videoFramesIn(), 2);
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
