#include "platform/pulse/PulseAudioService.h"
#include "X11TestSupport.h"

namespace backreel::test {
namespace {

// Lends audio that is valid only while the handler runs, as the audio server does: the buffer is
// overwritten as soon as the handler returns. Or fails to start.
class LendingAudio final : public SystemAudioService {
public:
    explicit LendingAudio(bool fails)
        : fails_(fails) {}
    std::unique_ptr<SystemAudioSource> makeSource() override { return std::make_unique<Source>(fails_); }

private:
    class Source final : public SystemAudioSource {
    public:
        explicit Source(bool fails)
            : fails_(fails) {}
        MaybeError start(const SystemAudioFormat& format, AudioHandler onAudio, StateHandler) override {
            if (fails_) {
                return Error{QStringLiteral("PulseAudio"), 6, QStringLiteral("Connection refused")};
            }
            thread_ = std::jthread([format, onAudio = std::move(onAudio)](std::stop_token stop) {
                std::vector<float> lent(static_cast<std::size_t>(format.channelCount) * 480);
                for (std::int64_t start = 0; !stop.stop_requested(); start += 480) {
                    std::fill(lent.begin(), lent.end(), 0.5f);
                    onAudio(AudioView{lent, format.channelCount, format.sampleRate,
                                      MediaTime(start, format.sampleRate)});
                    std::fill(lent.begin(), lent.end(), -1.0f); // taken back
                    std::this_thread::sleep_for(10ms);          // the next 10 ms of audio comes later
                }
            });
            return std::nullopt;
        }
        void stop() override { thread_ = {}; }

    private:
        bool fails_;
        std::jthread thread_;
    };
    bool fails_;
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
        return start(displayFilter(), withAudio);
    }
    void streamAudioDidChange(CaptureStream&, const std::optional<Error>& lost) override {
        std::lock_guard lock(audioMutex_);
        audioChanges_.push_back(lost);
    }
    std::vector<std::optional<Error>> audioChanges() const {
        std::lock_guard lock(audioMutex_);
        return audioChanges_;
    }

private:
    mutable std::mutex audioMutex_;
    std::vector<std::optional<Error>> audioChanges_;
};

TEST_F(X11CaptureAudio, audioReachesTheOutputWhileValidAndItsFailureIsToldAndLeavesTheVideoRunning) {
    auto stream = startWithAudio(std::make_shared<LendingAudio>(false), {44100, 1});
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->audio().received().size() >= 5; }));
    EXPECT_FALSE(stopAndWait(*stream));
    const AudioChunk first = collector_->audio().received().front().chunk;
    EXPECT_TRUE(first.sampleRate == 44100 && first.channels == 1) << "in the configured format";
    for (const float value : collector_->audio().channel(0)) {
        ASSERT_EQ(value, 0.5f);
    }

    stream = startWithAudio(std::make_shared<LendingAudio>(true), {48000, 2});
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitUntil([&] { return collector_->frames() >= 3; }));
    EXPECT_EQ(collector_->audio().totalFrames(), 0);
    EXPECT_TRUE(errors().empty());
    const std::vector<std::optional<Error>> changes = audioChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], (Error{QStringLiteral("PulseAudio"), 6, QStringLiteral("Connection refused")}));
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
