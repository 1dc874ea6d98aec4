#pragma once

#include "platform/pulse/AudioTimeline.h"
#include "platform/SystemAudio.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace backreel::test {

// What a sample looked like in the handler, kept after its bytes are gone.
struct DeliveredSample {
    const AudioStreamBasicDescription* description = nullptr; // lives in formatDescription
    FormatDescriptionPtr formatDescription;
    std::int64_t frames = 0;
    std::vector<SampleTimingInfo> timing;
    std::vector<std::size_t> sizes;
    bool hasDataBuffer = false;
    AudioBufferList buffers;
    std::size_t listBlockLength = 0;
    const std::byte* listBlockData = nullptr;
    // CLOCK_MONOTONIC in frames of the sample's rate, read in the handler.
    std::int64_t deliveredAt = 0;
};

// Collects the samples and failures of a source. Outlives the source it serves.
class SampleCollector {
public:
    SystemAudioSource::SampleHandler sampleHandler() {
        return [this](const MediaSamplePtr& sample) {
            add(*sample);
        };
    }
    SystemAudioSource::FailureHandler failureHandler() {
        return [this](const Error& error) {
            {
                std::lock_guard lock(mutex_);
                failures_.push_back(error);
                samplesAtFailure_ = samples_.size();
            }
        };
    }

    // A pause in each handler call, to widen races with stop().
    void setHandlerDelay(std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex_);
        handlerDelay_ = delay;
    }

    // Calls arriving after this are counted as late.
    void markStopped() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }

    bool waitForFrames(std::int64_t frames, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::int64_t target = 0;
        {
            std::lock_guard lock(mutex_);
            target = totalFrames_ + frames;
        }
        return poll(timeout, [&] { return totalFrames_ >= target; });
    }
    bool waitForFailure(std::chrono::milliseconds timeout) {
        return poll(timeout, [&] { return !failures_.empty(); });
    }

    std::vector<DeliveredSample> samples() const {
        std::lock_guard lock(mutex_);
        return samples_;
    }
    // Channel 0 of everything recorded, in order.
    std::vector<float> firstChannel() const {
        std::lock_guard lock(mutex_);
        return firstChannel_;
    }
    std::size_t sampleCount() const {
        std::lock_guard lock(mutex_);
        return samples_.size();
    }
    std::vector<Error> failures() const {
        std::lock_guard lock(mutex_);
        return failures_;
    }
    std::size_t samplesAtFailure() const {
        std::lock_guard lock(mutex_);
        return samplesAtFailure_;
    }
    int lateCalls() const {
        std::lock_guard lock(mutex_);
        return lateCalls_;
    }
    // Keeps only what arrives from now on.
    void clear() {
        std::lock_guard lock(mutex_);
        samples_.clear();
        firstChannel_.clear();
    }

private:
    // Checks the condition under the lock every few milliseconds. Polling rather than a timed
    // condition-variable wait: those go through pthread_cond_clockwait, which GCC 12's
    // ThreadSanitizer does not intercept, so it would report the hand-over as a race.
    template <typename Condition> bool poll(std::chrono::milliseconds timeout, Condition condition) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (condition()) {
                    return true;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    void add(const MediaSample& sample) {
        DeliveredSample delivered;
        delivered.formatDescription = sample.formatDescription();
        delivered.description =
            delivered.formatDescription ? delivered.formatDescription->streamBasicDescription() : nullptr;
        delivered.frames = sample.numSamples();
        std::size_t count = 0;
        sample.sampleTimingInfoArray(0, nullptr, &count);
        delivered.timing.resize(count);
        sample.sampleTimingInfoArray(count, delivered.timing.data(), &count);
        sample.sampleSizeArray(0, nullptr, &count);
        delivered.sizes.resize(count);
        sample.sampleSizeArray(count, delivered.sizes.data(), &count);
        delivered.hasDataBuffer = sample.dataBuffer() != nullptr;
        std::size_t listSize = 0;
        BlockBufferPtr block;
        if (sample.audioBufferListWithRetainedBlockBuffer(&listSize, nullptr, 0, nullptr) == 0 &&
            sample.audioBufferListWithRetainedBlockBuffer(nullptr, &delivered.buffers, listSize, &block) ==
                0 &&
            block) {
            delivered.listBlockLength = block->dataLength();
            if (!block->segments().empty()) {
                delivered.listBlockData = block->segments().front().data;
            }
        }
        const std::int32_t rate = delivered.description != nullptr
                                      ? static_cast<std::int32_t>(delivered.description->sampleRate)
                                      : 48000;
        delivered.deliveredAt = monotonicNowFrames(rate);

        // The bytes are valid only now: copy channel 0.
        std::vector<float> channel;
        if (delivered.description != nullptr && !delivered.buffers.empty() &&
            delivered.buffers[0].data != nullptr) {
            const std::size_t channels = delivered.description->channelsPerFrame;
            const std::size_t floats = delivered.buffers[0].dataByteSize / sizeof(float);
            std::vector<float> all(floats);
            std::memcpy(all.data(), delivered.buffers[0].data, floats * sizeof(float));
            for (std::size_t i = 0; i < floats; i += channels) {
                channel.push_back(all[i]);
            }
        }

        std::chrono::milliseconds delay{};
        {
            std::lock_guard lock(mutex_);
            if (stopped_) {
                ++lateCalls_;
            }
            samples_.push_back(std::move(delivered));
            firstChannel_.insert(firstChannel_.end(), channel.begin(), channel.end());
            totalFrames_ += sample.numSamples();
            delay = handlerDelay_;
        }
        if (delay.count() > 0) {
            std::this_thread::sleep_for(delay);
        }
    }

    mutable std::mutex mutex_;
    std::vector<DeliveredSample> samples_;
    std::vector<float> firstChannel_;
    std::vector<Error> failures_;
    std::size_t samplesAtFailure_ = 0;
    std::int64_t totalFrames_ = 0;
    std::chrono::milliseconds handlerDelay_{};
    bool stopped_ = false;
    int lateCalls_ = 0;
};

} // namespace backreel::test
