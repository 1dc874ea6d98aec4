#include "support/synthetic/SyntheticCaptureService.h"

#include "core/dispatch/SerialQueue.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
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

SyntheticCaptureStream::SyntheticCaptureStream(std::shared_ptr<SyntheticState> state, ContentFilter filter,
                                               StreamConfiguration configuration, StreamDelegate* delegate)
    : state_(std::move(state))
    , filter_(std::move(filter))
    , configuration_(std::move(configuration))
    , delegate_(delegate) {
    picture_ = ImageBuffer::allocate(configuration_.width, configuration_.height);
}

SyntheticCaptureStream::~SyntheticCaptureStream() {
    stopGenerating();
}

MaybeError SyntheticCaptureStream::addStreamOutput(std::shared_ptr<StreamOutput> output,
                                                   StreamOutputType type, SerialQueue& queue) {
    const SyntheticOptions options = state_->options();
    state_->record(type == StreamOutputType::screen ? "addStreamOutput screen" : "addStreamOutput audio");
    const std::optional<Error>& failure =
        type == StreamOutputType::screen ? options.addScreenOutputError : options.addAudioOutputError;
    if (failure) {
        return failure;
    }
    std::lock_guard lock(mutex_);
    (type == StreamOutputType::screen ? screen_ : audio_) = Output{std::move(output), &queue};
    return std::nullopt;
}

void SyntheticCaptureStream::startCapture(CaptureCompletion completion) {
    const SyntheticOptions options = state_->options();
    state_->record("startCapture");
    if (options.startError) {
        completion(options.startError);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        running_ = true;
    }
    if (options.generateSamples) {
        generator_ = std::thread([this] { generate(); });
    }
    // Answer from another thread, as a real service does.
    std::thread([weakSelf = weak_from_this(), lost = options.audioLostAtStart,
                 completion = std::move(completion)] {
        const std::shared_ptr<SyntheticCaptureStream> self = weakSelf.lock();
        if (lost && self && self->delegate_ != nullptr) {
            self->delegate_->streamAudioDidChange(*self, lost);
        }
        completion(std::nullopt);
    }).detach();
}

void SyntheticCaptureStream::stopCapture(CaptureCompletion completion) {
    state_->record("stopCapture");
    stopGenerating();
    completion(state_->options().stopError);
}

void SyntheticCaptureStream::stopGenerating() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (generator_.joinable()) {
        generator_.join();
    }
}

void SyntheticCaptureStream::generate() {
    const bool withAudio = state_->options().generateAudio && configuration_.capturesAudio;
    const MediaTime frameInterval = configuration_.minimumFrameInterval;
    const auto framePeriod = std::chrono::duration<double>(frameInterval.seconds());
    const auto audioPeriod = std::chrono::milliseconds(10);

    auto nextFrame = std::chrono::steady_clock::now();
    auto nextAudio = nextFrame;
    double phase = 0;
    std::uint8_t shade = 0;
    std::unique_lock lock(mutex_);
    while (running_) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextFrame) {
            nextFrame += std::chrono::duration_cast<std::chrono::steady_clock::duration>(framePeriod);
            lock.unlock();
            // Moving content: the first row changes with every frame.
            std::memset(picture_->mutableBaseAddress(), shade++, picture_->bytesPerRow());
            deliverFrame(VideoFrame{picture_, monotonicNow(), frameInterval});
            lock.lock();
            continue;
        }
        if (withAudio && now >= nextAudio) {
            nextAudio += audioPeriod;
            lock.unlock();
            deliverAudio(toneFrames(kAudioFramesPerBuffer, phase), monotonicNow());
            phase += static_cast<double>(kAudioFramesPerBuffer) / kAudioRate;
            lock.lock();
            continue;
        }
        wake_.wait_until(lock, withAudio ? std::min(nextFrame, nextAudio) : nextFrame);
    }
}

SyntheticCaptureStream::Output SyntheticCaptureStream::output(StreamOutputType type) {
    std::lock_guard lock(mutex_);
    return type == StreamOutputType::screen ? screen_ : audio_;
}

void SyntheticCaptureStream::deliverFrame(const VideoFrame& frame) {
    const Output target = output(StreamOutputType::screen);
    if (!target.output || target.queue == nullptr) {
        return;
    }
    // A delivery in flight keeps the stream alive, as the frames a real service already handed out do.
    target.queue->async([self = shared_from_this(), output = target.output, frame] {
        output->didOutputVideoFrame(*self, frame);
    });
}

void SyntheticCaptureStream::deliverAudio(std::shared_ptr<const std::vector<float>> samples,
                                          MediaTime presentationTime) {
    const Output target = output(StreamOutputType::audio);
    if (!target.output || target.queue == nullptr) {
        return;
    }
    target.queue->async([self = shared_from_this(), output = target.output, samples, presentationTime] {
        output->didOutputAudio(*self, AudioView{*samples, 2, kAudioRate, presentationTime});
    });
}

void SyntheticCaptureStream::deliverScreenFrame(MediaTime presentationTime, bool withImage) {
    deliverFrame(
        VideoFrame{withImage ? picture_ : nullptr, presentationTime, configuration_.minimumFrameInterval});
}

void SyntheticCaptureStream::deliverAudio(MediaTime presentationTime, std::int64_t frames) {
    deliverAudio(toneFrames(frames, 0), presentationTime);
}

void SyntheticCaptureStream::failWithError(const Error& error) {
    stopGenerating();
    std::weak_ptr<SyntheticCaptureStream> weakSelf = weak_from_this();
    std::thread([weakSelf, error] {
        if (std::shared_ptr<SyntheticCaptureStream> self = weakSelf.lock()) {
            if (self->delegate_ != nullptr) {
                self->delegate_->streamDidStopWithError(*self, error);
            }
        }
    }).join();
}

void SyntheticCaptureStream::changeAudio(const std::optional<Error>& lost) {
    std::weak_ptr<SyntheticCaptureStream> weakSelf = weak_from_this();
    std::thread([weakSelf, lost] {
        if (std::shared_ptr<SyntheticCaptureStream> self = weakSelf.lock()) {
            if (self->delegate_ != nullptr) {
                self->delegate_->streamAudioDidChange(*self, lost);
            }
        }
    }).join();
}

void SyntheticCaptureService::getShareableContent(ShareableContentCompletion completion) {
    const SyntheticOptions options = state_->options();
    state_->record("getShareableContent");
    std::thread([options, completion = std::move(completion)] {
        if (options.contentError) {
            completion(*options.contentError);
        } else {
            completion(options.content);
        }
    }).detach();
}

std::shared_ptr<CaptureStream> SyntheticCaptureService::createStream(const ContentFilter& filter,
                                                                     const StreamConfiguration& configuration,
                                                                     StreamDelegate* delegate) {
    state_->record("createStream");
    auto stream = std::make_shared<SyntheticCaptureStream>(state_, filter, configuration, delegate);
    state_->setLastStream(stream);
    return stream;
}

} // namespace backreel
