#include "support/synthetic/SyntheticCaptureService.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>
#include <time.h>

namespace backreel {

namespace {
constexpr std::int32_t kAudioRate = 48000;
constexpr std::int64_t kAudioFramesPerBuffer = 480; // 10 ms

MediaTime monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t ticks = static_cast<std::int64_t>(now.tv_sec) * kTimeScale +
                               static_cast<std::int64_t>(now.tv_nsec) * kTimeScale / 1'000'000'000;
    return MediaTime(ticks, kTimeScale);
}

// Interleaved stereo 440 Hz at a quarter of full scale, starting at phase seconds.
std::shared_ptr<const std::vector<float>> toneFrames(std::int64_t frames, double phase) {
    const auto count = static_cast<std::size_t>(frames > 0 ? frames : 0);
    auto samples = std::make_shared<std::vector<float>>(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = phase + static_cast<double>(i) / kAudioRate;
        const auto value = static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * 440.0 * t));
        (*samples)[2 * i] = value;
        (*samples)[2 * i + 1] = value;
    }
    return samples;
}
} // namespace

SyntheticVideoSource::SyntheticVideoSource(std::shared_ptr<SyntheticState> state, ContentFilter filter,
                                           VideoSourceSettings settings)
    : state_(std::move(state))
    , filter_(std::move(filter))
    , settings_(std::move(settings))
    , picture_(ImageBuffer::allocate(settings_.width, settings_.height)) {
    state_->setLastSource(this);
}

SyntheticVideoSource::~SyntheticVideoSource() {
    stop();
    state_->forgetSource(this);
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
        running_ = true;
        started_ = true;
    }
    if (options.generateSamples) {
        generator_ = std::thread([this] { generate(); });
    }
    co_return std::nullopt;
}

void SyntheticVideoSource::stop() {
    VideoSource::stop();
    bool wasStarted = false;
    {
        std::lock_guard lock(mutex_);
        wasStarted = std::exchange(started_, false);
        running_ = false;
        sink_ = nullptr;
    }
    if (wasStarted) {
        state_->record("stopCapture");
    }
    wake_.notify_all();
    if (generator_.joinable()) {
        generator_.join();
    }
}

void SyntheticVideoSource::generate() {
    const auto framePeriod = std::chrono::duration<double>(settings_.frameInterval.seconds());
    auto nextFrame = std::chrono::steady_clock::now();
    std::uint8_t shade = 0;
    std::unique_lock lock(mutex_);
    while (running_) {
        if (std::chrono::steady_clock::now() >= nextFrame) {
            nextFrame += std::chrono::duration_cast<std::chrono::steady_clock::duration>(framePeriod);
            lock.unlock();
            // Moving content: the first row changes with every frame.
            std::memset(picture_->mutableBaseAddress(), shade++, picture_->bytesPerRow());
            deliverFrame(VideoFrame{picture_, monotonicNow(), settings_.frameInterval});
            lock.lock();
            continue;
        }
        wake_.wait_until(lock, nextFrame);
    }
}

void SyntheticVideoSource::deliverFrame(const VideoFrame& frame) {
    // Under the lock, as a real source hands on one frame at a time and none after stop().
    std::lock_guard lock(mutex_);
    if (sink_ != nullptr) {
        sink_->takeFrame(frame);
    }
}

void SyntheticVideoSource::deliverScreenFrame(MediaTime presentationTime, bool withImage) {
    deliverFrame(VideoFrame{withImage ? picture_ : nullptr, presentationTime, settings_.frameInterval});
}

void SyntheticVideoSource::failWithError(const QString& reason) {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (generator_.joinable()) {
        generator_.join();
    }
    // From a thread of its own, as a real source tells of an end.
    std::thread([this, reason] { reportEnd(CaptureError::ended(reason)); }).join();
}

MaybeError SyntheticAudioSource::start(const AudioFormat&, AudioHandler onAudio, StateHandler onState) {
    const SyntheticOptions options = state_->options();
    state_->record("audio start");
    state_->setLastAudio(this);
    {
        std::lock_guard lock(mutex_);
        onAudio_ = std::move(onAudio);
        onState_ = std::move(onState);
        running_ = true;
    }
    if (options.audioLostAtStart) {
        changeAudio(options.audioLostAtStart);
    }
    if (options.generateSamples && options.generateAudio) {
        generator_ = std::thread([this] { generate(); });
    }
    return std::nullopt;
}

void SyntheticAudioSource::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) {
            return;
        }
        running_ = false;
        onAudio_ = nullptr;
        onState_ = nullptr;
    }
    wake_.notify_all();
    if (generator_.joinable()) {
        generator_.join();
    }
    state_->forgetAudio(this);
}

void SyntheticAudioSource::generate() {
    const auto period = std::chrono::milliseconds(10);
    auto next = std::chrono::steady_clock::now();
    double phase = 0;
    std::unique_lock lock(mutex_);
    while (running_) {
        if (std::chrono::steady_clock::now() >= next) {
            next += period;
            lock.unlock();
            deliverAudio(toneFrames(kAudioFramesPerBuffer, phase), monotonicNow());
            phase += static_cast<double>(kAudioFramesPerBuffer) / kAudioRate;
            lock.lock();
            continue;
        }
        wake_.wait_until(lock, next);
    }
}

void SyntheticAudioSource::deliverAudio(std::shared_ptr<const std::vector<float>> samples,
                                        MediaTime presentationTime) {
    std::lock_guard lock(mutex_);
    if (onAudio_) {
        onAudio_(AudioView{*samples, 2, kAudioRate, presentationTime});
    }
}

void SyntheticAudioSource::deliverAudio(MediaTime presentationTime, std::int64_t frames) {
    deliverAudio(toneFrames(frames, 0), presentationTime);
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

std::unique_ptr<AudioSource> SyntheticAudioService::makeSource() {
    return std::make_unique<SyntheticAudioSource>(state_);
}

} // namespace backreel
