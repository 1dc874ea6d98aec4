#include "support/synthetic/SyntheticCaptureService.h"

#include "platform/dispatch/SerialQueue.h"

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

AudioStreamBasicDescription floatStereo(bool nonInterleaved) {
    AudioStreamBasicDescription asbd;
    asbd.sampleRate = kAudioRate;
    asbd.formatID = codec::linearPCM;
    asbd.formatFlags = AudioStreamBasicDescription::kFormatFlagIsFloat |
                       (nonInterleaved ? AudioStreamBasicDescription::kFormatFlagIsNonInterleaved : 0u);
    asbd.channelsPerFrame = 2;
    asbd.bitsPerChannel = 32;
    asbd.bytesPerFrame = nonInterleaved ? 4 : 8;
    asbd.bytesPerPacket = asbd.bytesPerFrame;
    asbd.framesPerPacket = 1;
    return asbd;
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

MaybeError SyntheticCaptureStream::addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                                                   SerialQueue& queue) {
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
    std::thread([completion = std::move(completion)] { completion(std::nullopt); }).detach();
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
    const bool asList = state_->options().audioAsBufferList;
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
            deliver(makeScreenSample(picture_, monotonicNow(), frameInterval), StreamOutputType::screen);
            lock.lock();
            continue;
        }
        if (withAudio && now >= nextAudio) {
            nextAudio += audioPeriod;
            lock.unlock();
            deliver(makeAudioSample(monotonicNow(), kAudioFramesPerBuffer, asList, phase), StreamOutputType::audio);
            phase += static_cast<double>(kAudioFramesPerBuffer) / kAudioRate;
            lock.lock();
            continue;
        }
        wake_.wait_until(lock, withAudio ? std::min(nextFrame, nextAudio) : nextFrame);
    }
}

void SyntheticCaptureStream::deliver(const MediaSamplePtr& sample, StreamOutputType type) {
    Output target;
    {
        std::lock_guard lock(mutex_);
        target = type == StreamOutputType::screen ? screen_ : audio_;
    }
    if (!target.output || target.queue == nullptr) {
        return;
    }
    // A delivery in flight keeps the stream alive, as the frames a real service already handed out do.
    target.queue->async([self = shared_from_this(), output = target.output, sample, type] {
        output->didOutputSampleBuffer(*self, sample, type);
    });
}

void SyntheticCaptureStream::deliverScreenFrame(MediaTime presentationTime, bool withImage) {
    deliver(makeScreenSample(withImage ? picture_ : nullptr, presentationTime, configuration_.minimumFrameInterval),
            StreamOutputType::screen);
}

void SyntheticCaptureStream::deliverAudio(MediaTime presentationTime, std::int64_t frames) {
    deliver(makeAudioSample(presentationTime, frames, state_->options().audioAsBufferList, 0),
            StreamOutputType::audio);
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

MediaSamplePtr SyntheticCaptureStream::makeScreenSample(const ImageBufferPtr& image, MediaTime pts,
                                                        MediaTime duration) {
    MediaSample::Parts parts;
    parts.imageBuffer = image;
    parts.timing = {SampleTimingInfo{duration, pts, MediaTime::invalid()}};
    return MediaSample::make(std::move(parts));
}

MediaSamplePtr SyntheticCaptureStream::makeAudioSample(MediaTime pts, std::int64_t frames, bool asBufferList,
                                                       double phase) {
    const auto count = static_cast<std::size_t>(frames > 0 ? frames : 0);
    // Planar: all left samples, then all right samples.
    auto bytes = std::make_shared<std::vector<float>>(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = phase + static_cast<double>(i) / kAudioRate;
        const auto value = static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * 440.0 * t));
        (*bytes)[i] = value;
        (*bytes)[count + i] = value;
    }
    const auto* base = reinterpret_cast<const std::byte*>(bytes->data());
    const std::size_t channelBytes = count * sizeof(float);

    MediaSample::Parts parts;
    parts.formatDescription = FormatDescription::audio(floatStereo(true));
    parts.numSamples = frames;
    parts.timing = {SampleTimingInfo{MediaTime(1, kAudioRate), pts, MediaTime::invalid()}};
    parts.sizes = {4};
    BlockBufferPtr block = BlockBuffer::fromSegments({BlockBuffer::Segment{bytes, base, channelBytes * 2}});
    if (asBufferList) {
        parts.audioBufferList = AudioBufferList{AudioBuffer{1, base, channelBytes},
                                                AudioBuffer{1, base + channelBytes, channelBytes}};
        parts.listBlock = std::move(block);
    } else {
        parts.dataBuffer = std::move(block);
    }
    return MediaSample::make(std::move(parts));
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
