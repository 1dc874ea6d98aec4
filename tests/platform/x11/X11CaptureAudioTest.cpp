#include "support/LogCapture.h"
#include "X11TestSupport.h"

namespace backreel::test {
namespace {

using namespace std::chrono_literals;

// An audio source whose samples are valid only while its handler runs, like the audio server's.
class FakeAudioSource final : public SystemAudioSource {
public:
    struct Shared {
        std::mutex mutex;
        std::optional<Error> startError;
        std::optional<SystemAudioFormat> format;
        std::atomic<bool> sampleValid = false;
        std::atomic<int> handed = 0;
        std::atomic<bool> stopped = false;
    };
    explicit FakeAudioSource(std::shared_ptr<Shared> shared)
        : shared_(std::move(shared)) {}
    ~FakeAudioSource() override { stop(); }

    MaybeError start(const SystemAudioFormat& format, SampleHandler onSample, FailureHandler) override {
        std::lock_guard lock(shared_->mutex);
        if (shared_->startError) {
            return shared_->startError;
        }
        shared_->format = format;
        running_ = true;
        thread_ = std::thread([this, onSample = std::move(onSample)] {
            while (running_) {
                MediaSample::Parts parts;
                parts.timing = {
                    SampleTimingInfo{MediaTime(1, 48000), MediaTime(0, 48000), MediaTime::invalid()}};
                const MediaSamplePtr sample = MediaSample::make(std::move(parts));
                shared_->sampleValid = true;
                onSample(sample);
                shared_->sampleValid = false; // the audio server takes the bytes back
                ++shared_->handed;
                std::this_thread::sleep_for(10ms);
            }
        });
        return std::nullopt;
    }
    void stop() override {
        running_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
        shared_->stopped = true;
    }

private:
    std::shared_ptr<Shared> shared_;
    std::atomic<bool> running_ = false;
    std::thread thread_;
};

class FakeAudioService final : public SystemAudioService {
public:
    std::unique_ptr<SystemAudioSource> makeSource() override {
        return std::make_unique<FakeAudioSource>(shared);
    }
    std::shared_ptr<FakeAudioSource::Shared> shared = std::make_shared<FakeAudioSource::Shared>();
};

// Checks, while it runs, that the sample it got is still valid.
class AudioChecker final : public StreamOutput {
public:
    explicit AudioChecker(std::shared_ptr<FakeAudioSource::Shared> shared)
        : shared_(std::move(shared)) {}
    void didOutputSampleBuffer(CaptureStream&, const MediaSamplePtr&, StreamOutputType type) override {
        if (type != StreamOutputType::audio) {
            return;
        }
        std::this_thread::sleep_for(1ms); // a late reader would see the bytes gone
        (shared_->sampleValid ? valid_ : invalid_)++;
    }
    std::atomic<int> valid_ = 0;
    std::atomic<int> invalid_ = 0;

private:
    std::shared_ptr<FakeAudioSource::Shared> shared_;
};

class X11CaptureAudio : public X11Test {
protected:
    std::shared_ptr<CaptureStream> makeStream(X11CaptureService& service, const ShareableContent& listed) {
        StreamConfiguration configuration;
        configuration.width = 160;
        configuration.height = 90;
        configuration.capturesAudio = true;
        configuration.sampleRate = 44100;
        configuration.channelCount = 1;
        return service.createStream(ContentFilter::display(listed.displays.front(), {}, {}), configuration,
                                    &delegate_);
    }

    SerialQueue screenQueue_{"com.loopvane.capture.test"};
    SerialQueue audioQueue_{"com.loopvane.audio.test"};
    RecordingDelegate delegate_;
};

TEST_F(X11CaptureAudio, samplesReachTheAudioOutputWhileTheyAreValid) {
    auto audio = std::make_shared<FakeAudioService>();
    X11CaptureService service(audio);
    Expected<ShareableContent> listed = content(service);
    ASSERT_TRUE(listed);
    auto stream = makeStream(service, listed.value());
    auto checker = std::make_shared<AudioChecker>(audio->shared);
    auto frames = std::make_shared<FrameCollector>();
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::screen, screenQueue_));
    ASSERT_FALSE(stream->addStreamOutput(checker, StreamOutputType::audio, audioQueue_));
    ASSERT_FALSE(startAndWait(*stream));
    ASSERT_TRUE(waitUntil([&] { return checker->valid_ >= 5; }));
    EXPECT_EQ(checker->invalid_, 0);
    {
        std::lock_guard lock(audio->shared->mutex);
        ASSERT_TRUE(audio->shared->format);
        EXPECT_EQ(audio->shared->format->sampleRate, 44100);
        EXPECT_EQ(audio->shared->format->channelCount, 1);
    }
    EXPECT_FALSE(stopAndWait(*stream));
    EXPECT_TRUE(audio->shared->stopped);
    const int afterStop = checker->valid_ + checker->invalid_;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(checker->valid_ + checker->invalid_, afterStop);
}

TEST_F(X11CaptureAudio, anAudioFailureLeavesTheVideoRunning) {
    auto audio = std::make_shared<FakeAudioService>();
    audio->shared->startError = Error{QStringLiteral("PulseAudio"), 6, QStringLiteral("Connection refused")};
    X11CaptureService service(audio);
    Expected<ShareableContent> listed = content(service);
    ASSERT_TRUE(listed);
    LogCapture log;
    auto stream = makeStream(service, listed.value());
    auto frames = std::make_shared<FrameCollector>();
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::screen, screenQueue_));
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::audio, audioQueue_));
    EXPECT_FALSE(startAndWait(*stream));
    EXPECT_EQ(log.count(QStringLiteral("[Capture] System audio unavailable: Connection refused")), 1);
    EXPECT_EQ(log.levelOf(QStringLiteral("[Capture] System audio unavailable: Connection refused")),
              QtCriticalMsg);
    EXPECT_TRUE(waitUntil([&] { return frames->frames() >= 3; }));
    EXPECT_EQ(frames->audioSamples(), 0);
    EXPECT_TRUE(delegate_.errors().empty());
}

TEST_F(X11CaptureAudio, withoutAnAudioServiceTheStreamIsVideoOnly) {
    X11CaptureService service(nullptr);
    Expected<ShareableContent> listed = content(service);
    ASSERT_TRUE(listed);
    auto stream = makeStream(service, listed.value());
    auto frames = std::make_shared<FrameCollector>();
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::screen, screenQueue_));
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::audio, audioQueue_));
    EXPECT_FALSE(startAndWait(*stream));
    EXPECT_TRUE(waitUntil([&] { return frames->frames() >= 2; }));
    EXPECT_EQ(frames->audioSamples(), 0);
}

} // namespace
} // namespace backreel::test
