#include "support/synthetic/SyntheticCaptureService.h"

#include "platform/pixels/FrameClock.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>

namespace backreel {

// Calls `tick` every period on a thread of its own, as a real source's clock does, until it goes.
class Ticker {
public:
    Ticker(std::chrono::nanoseconds period, std::function<void()> tick)
        : thread_([period, tick = std::move(tick)](const std::stop_token& stop) {
            for (auto next = std::chrono::steady_clock::now(); !stop.stop_requested(); next += period) {
                tick();
                std::this_thread::sleep_until(next + period);
            }
        }) {}

private:
    std::jthread thread_;
};

constexpr std::int32_t kAudioRate = 48000;

SyntheticVideoSource::SyntheticVideoSource(std::shared_ptr<SyntheticState> state, ContentFilter filter,
                                           VideoSourceSettings settings)
    : state_(std::move(state))
    , filter_(std::move(filter))
    , settings_(std::move(settings))
    , picture_(ImageBuffer::allocate(settings_.width, settings_.height)) {
    state_->track(this, true);
}

SyntheticVideoSource::~SyntheticVideoSource() {
    stop();
    state_->track(this, false);
}

QCoro::Task<std::optional<CaptureError>> SyntheticVideoSource::start(FrameSink& sink) {
    const SyntheticOptions options = state_->options();
    state_->record("startCapture");
    if (options.startError) {
        co_return options.startError;
    }
    {
        std::lock_guard lock(mutex_);
        sink_ = &sink;
    }
    if (options.generateSamples) {
        const auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(settings_.frameInterval.seconds()));
        generator_ = std::make_unique<Ticker>(period, [this] {
            // Moving content: the first row changes with every frame.
            std::memset(picture_->mutableBaseAddress(), shade_++, picture_->bytesPerRow());
            deliverScreenFrame(pixels::monotonicNow());
        });
    }
    co_return std::nullopt;
}

void SyntheticVideoSource::stop() {
    VideoSource::stop();
    bool wasStarted = false;
    {
        std::lock_guard lock(mutex_);
        wasStarted = std::exchange(sink_, nullptr) != nullptr;
    }
    if (wasStarted) {
        state_->record("stopCapture");
    }
    generator_.reset();
}

void SyntheticVideoSource::deliverScreenFrame(MediaTime presentationTime) {
    // Under the lock, as a real source hands on one frame at a time and none after stop().
    std::lock_guard lock(mutex_);
    if (sink_ != nullptr) {
        sink_->takeFrame(VideoFrame{picture_, presentationTime, settings_.frameInterval});
    }
}

void SyntheticVideoSource::failWithError(const QString& reason) {
    generator_.reset();
    // From a thread of its own, as a real source tells of an end.
    std::thread([this, reason] { reportEnd(CaptureError::ended(reason)); }).join();
}

SyntheticAudioSource::SyntheticAudioSource(std::shared_ptr<SyntheticState> state)
    : state_(std::move(state)) {}

SyntheticAudioSource::~SyntheticAudioSource() {
    stop();
}

MaybeError SyntheticAudioSource::start(const AudioFormat&, AudioHandler onAudio, StateHandler onState) {
    const SyntheticOptions options = state_->options();
    state_->record("audio start");
    state_->track(this, true);
    {
        std::lock_guard lock(mutex_);
        onAudio_ = std::move(onAudio);
        onState_ = std::move(onState);
    }
    if (options.audioLostAtStart) {
        changeAudio(options.audioLostAtStart);
    }
    if (options.generateSamples) {
        generator_ = std::make_unique<Ticker>(std::chrono::milliseconds(10),
                                              [this] { deliverAudio(pixels::monotonicNow()); });
    }
    return std::nullopt;
}

void SyntheticAudioSource::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!onAudio_) {
            return;
        }
        onAudio_ = nullptr;
        onState_ = nullptr;
    }
    generator_.reset();
    state_->track(this, false);
}

void SyntheticAudioSource::deliverAudio(MediaTime presentationTime) {
    const std::vector<float> silence(std::size_t{kAudioRate / 100 * 2});
    std::lock_guard lock(mutex_);
    if (onAudio_) {
        onAudio_(AudioView{silence, 2, kAudioRate, presentationTime});
    }
}

void SyntheticAudioSource::changeAudio(const std::optional<Error>& lost) {
    std::thread([this, lost] {
        std::lock_guard lock(mutex_);
        if (onState_) {
            onState_(lost);
        }
    }).join();
}

QCoro::Task<Expected<ShareableContent, CaptureError>> SyntheticCaptureService::shareableContent() {
    const SyntheticOptions options = state_->options();
    state_->record("getShareableContent");
    if (options.contentError) {
        co_return *options.contentError;
    }
    co_return options.content;
}

std::unique_ptr<VideoSource> SyntheticCaptureService::makeVideoSource(const ContentFilter& filter,
                                                                      const VideoSourceSettings& settings) {
    state_->record("createStream");
    return std::make_unique<SyntheticVideoSource>(state_, filter, settings);
}

} // namespace backreel
