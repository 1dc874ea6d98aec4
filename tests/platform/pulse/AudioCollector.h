#pragma once

#include "platform/pulse/AudioTimeline.h"
#include "platform/SystemAudio.h"
#include "support/ChildProcess.h"

#include <mutex>
#include <thread>
#include <vector>

namespace backreel::test {

struct ReceivedAudio {
    AudioChunk chunk;
    MediaTime receivedAt; // CLOCK_MONOTONIC when it arrived, at its sample rate
};

// Keeps copies of the audio a source or a capture stream hands over, and the failures a source
// reports. Any thread; outlives what it collects from.
class AudioCollector {
public:
    SystemAudioSource::AudioHandler handler() {
        return [this](const AudioView& audio) {
            add(audio);
        };
    }
    SystemAudioSource::FailureHandler failureHandler() {
        return [this](const Error& error) {
            std::lock_guard lock(mutex_);
            failures_.push_back(error);
            receivedAtFailure_ = received_.size();
        };
    }

    // Copies the audio, which is valid only now.
    void add(const AudioView& audio) {
        std::optional<AudioChunk> chunk = copyAudio(audio);
        const MediaTime now(monotonicNowFrames(audio.sampleRate), audio.sampleRate);
        std::chrono::milliseconds delay{};
        {
            std::lock_guard lock(mutex_);
            if (chunk) {
                frames_ += chunk->frameCount();
                received_.push_back({std::move(*chunk), now});
            }
            delay = handlerDelay_;
        }
        std::this_thread::sleep_for(delay);
    }

    // A pause in each call, to widen races with stop().
    void setHandlerDelay(std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex_);
        handlerDelay_ = delay;
    }
    // Keeps only what arrives from now on.
    void clear() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

    // Waits for this many frames more than have arrived so far.
    bool waitForFrames(std::int64_t frames, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const std::int64_t target = totalFrames() + frames;
        return waitUntil([&] { return totalFrames() >= target; }, timeout);
    }
    bool waitForFailure(std::chrono::milliseconds timeout) {
        return waitUntil([&] { return !failures().empty(); }, timeout);
    }

    std::vector<ReceivedAudio> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // One channel of everything kept, in order.
    std::vector<float> channel(int index) const {
        std::vector<float> values;
        for (const ReceivedAudio& audio : received()) {
            const std::span<const float> samples = audio.chunk.view();
            for (std::size_t i = static_cast<std::size_t>(index); i < samples.size();
                 i += static_cast<std::size_t>(audio.chunk.channels)) {
                values.push_back(samples[i]);
            }
        }
        return values;
    }
    std::int64_t totalFrames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<Error> failures() const {
        std::lock_guard lock(mutex_);
        return failures_;
    }
    std::size_t receivedAtFailure() const {
        std::lock_guard lock(mutex_);
        return receivedAtFailure_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ReceivedAudio> received_;
    std::int64_t frames_ = 0;
    std::vector<Error> failures_;
    std::size_t receivedAtFailure_ = 0;
    std::chrono::milliseconds handlerDelay_{};
};

} // namespace backreel::test
