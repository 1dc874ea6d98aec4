#include "platform/pulse/PulseAudioService.h"
#include "support/LogCapture.h"
#include "X11TestSupport.h"

namespace backreel::test {
namespace {

// An audio source whose audio is valid only while its handler runs, like the audio server's: its
// buffer is overwritten as soon as the handler returns.
class LendingAudioSource final : public SystemAudioSource {
public:
    struct Shared {
        std::mutex mutex;
        std::optional<Error> startError;
        std::optional<SystemAudioFormat> format;
    };
    explicit LendingAudioSource(std::shared_ptr<Shared> shared)
        : shared_(std::move(shared)) {}
    ~LendingAudioSource() override { stop(); }

    MaybeError start(const SystemAudioFormat& format, AudioHandler onAudio, FailureHandler) override {
        std::lock_guard lock(shared_->mutex);
        if (shared_->startError) {
            return shared_->startError;
        }
        shared_->format = format;
        thread_ = std::jthread([format, onAudio = std::move(onAudio)](std::stop_token stop) {
            std::vector<float> lent(static_cast<std::size_t>(format.channelCount) * 480);
            for (std::int64_t start = 0; !stop.stop_requested(); start += 480) {
                std::fill(lent.begin(), lent.end(), 0.5f);
                onAudio(AudioView{lent, format.channelCount, format.sampleRate,
                                  MediaTime(start, format.sampleRate)});
                std::fill(lent.begin(), lent.end(), -1.0f); // taken back
                std::this_thread::sleep_for(10ms);
            }
        });
        return std::nullopt;
    }
    void stop() override { thread_ = {}; }

private:
    std::shared_ptr<Shared> shared_;
    std::jthread thread_;
};

class LendingAudioService final : public SystemAudioService {
public:
    std::unique_ptr<SystemAudioSource> makeSource() override {
        return std::make_unique<LendingAudioSource>(shared);
    }
    std::shared_ptr<LendingAudioSource::Shared> shared = std::make_shared<LendingAudioSource::Shared>();
};

class X11CaptureAudio : public X11Test {
protected:
    std::shared_ptr<CaptureStream> startWithAudio(std::shared_ptr<SystemAudioService> audio,
                                                  SystemAudioFormat format) {
        service_ = std::make_shared<X11CaptureService>(std::move(audio));
        StreamConfiguration withAudio = configuration(160, 90);
        withAudio.capturesAudio = true;
        withAudio.sampleRate = format.sampleRate;
        withAudio.channelCount = format.channelCount;
        return start(ContentFilter::display(content_.displays.front(), {}, {}), withAudio);
    }
};

TEST_F(X11CaptureAudio, audioReachesTheOutputWhileItIsValidInTheConfiguredFormat) {
    auto audio = std::make_shared<LendingAudioService>();
    auto stream = startWithAudio(audio, {44100, 1});
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->audio().received().size() >= 5; }));
    EXPECT_FALSE(stopAndWait(*stream));
    for (const float value : collector_->audio().channel(0)) {
        ASSERT_EQ(value, 0.5f);
    }
    std::lock_guard lock(audio->shared->mutex);
    EXPECT_EQ(audio->shared->format->sampleRate, 44100);
    EXPECT_EQ(audio->shared->format->channelCount, 1);
}

TEST_F(X11CaptureAudio, anAudioFailureLeavesTheVideoRunning) {
    auto audio = std::make_shared<LendingAudioService>();
    audio->shared->startError = Error{QStringLiteral("PulseAudio"), 6, QStringLiteral("Connection refused")};
    LogCapture log;
    auto stream = startWithAudio(audio, {48000, 2});
    ASSERT_TRUE(stream);
    // The log line is all there is to tell: the recording goes on without audio.
    EXPECT_EQ(log.levelOf(QStringLiteral("[Capture] System audio unavailable: Connection refused")),
              QtCriticalMsg);
    EXPECT_TRUE(waitUntil([&] { return collector_->frames() >= 3; }));
    EXPECT_EQ(collector_->audio().totalFrames(), 0);
    EXPECT_TRUE(delegate_.errors().empty());
}

TEST_F(X11CaptureAudio, systemAudioAndFramesAreOnTheSameClock) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        GTEST_SKIP() << "PULSE_SERVER is not set; run under scripts/virtual-desktop";
    }
    auto stream = startWithAudio(std::make_shared<PulseAudioService>(), {48000, 2});
    ASSERT_TRUE(stream);
    ASSERT_TRUE(
        waitUntil([&] { return collector_->frames() >= 15 && collector_->audio().totalFrames() >= 24000; }));
    EXPECT_FALSE(stopAndWait(*stream));

    // Each arrives shortly after its time on the monotonic clock, so the two line up.
    for (const CaptureCollector::Arrival& frame : collector_->arrivals()) {
        const double late = (frame.receivedAt - frame.presentationTime).seconds();
        EXPECT_TRUE(late >= 0 && late < 0.2) << late;
    }
    for (const ReceivedAudio& audio : collector_->audio().received()) {
        EXPECT_LT(std::fabs((audio.receivedAt - audio.chunk.presentationTime).seconds()), 0.1);
    }
    const MediaTime lastFrame = collector_->arrivals().back().presentationTime;
    const ReceivedAudio lastAudio = collector_->audio().received().back();
    EXPECT_LT(std::fabs((lastFrame - lastAudio.chunk.presentationTime).seconds()), 0.2);
}

} // namespace
} // namespace backreel::test
