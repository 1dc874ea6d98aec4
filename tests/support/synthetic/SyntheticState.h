#pragma once

#include "core/Error.h"
#include "platform/CaptureError.h"
#include "platform/ShareableContent.h"
#include "platform/VideoEncoder.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace backreel {

class SyntheticVideoSource;
class SyntheticAudioSource;

// How the synthetic backend behaves: what it offers and which steps fail.
struct SyntheticOptions {
    ShareableContent content;
    std::uint32_t mainDisplayID = 0;

    std::optional<CaptureError> contentError;
    std::optional<CaptureError> startError;
    // When set, a sound source that starts tells it has no sound, for this reason, as it starts.
    std::optional<Error> audioLostAtStart;

    // Sources deliver frames and audio in real time on their own thread once started. Tests that
    // want exact control turn this off and deliver samples by hand.
    bool generateSamples = true;
    bool generateAudio = true;

    bool hardwareHevcAvailable = false;
    // When set, opening an encoder fails with it.
    std::optional<EncoderError> openError;
    // Every Nth compressed frame is a key frame.
    int keyFrameInterval = 15;
    // Simulated encoder latency per frame, in microseconds.
    int encodeLatencyMicroseconds = 1000;
    // The size of every compressed frame.
    int packetBytes = 64;
};

// Shared between the synthetic services and the test that drives them: the options and a
// journal of every platform call, in the order they happened. Any thread.
class SyntheticState {
public:
    explicit SyntheticState(SyntheticOptions options = {})
        : options_(std::move(options)) {}

    SyntheticOptions options() const {
        std::lock_guard lock(mutex_);
        return options_;
    }
    template <typename Change> void changeOptions(Change change) {
        std::lock_guard lock(mutex_);
        change(options_);
    }

    void record(std::string event) {
        std::lock_guard lock(mutex_);
        journal_.push_back(std::move(event));
    }
    std::vector<std::string> journal() const {
        std::lock_guard lock(mutex_);
        return journal_;
    }
    void clearJournal() {
        std::lock_guard lock(mutex_);
        journal_.clear();
    }

    // The last source made, while it lives; set and cleared by the sources themselves.
    void setLastSource(SyntheticVideoSource* source) {
        std::lock_guard lock(mutex_);
        lastSource_ = source;
    }
    void forgetSource(SyntheticVideoSource* source) {
        std::lock_guard lock(mutex_);
        if (lastSource_ == source) {
            lastSource_ = nullptr;
        }
    }
    SyntheticVideoSource* lastSource() const {
        std::lock_guard lock(mutex_);
        return lastSource_;
    }
    void setLastAudio(SyntheticAudioSource* source) {
        std::lock_guard lock(mutex_);
        lastAudio_ = source;
    }
    void forgetAudio(SyntheticAudioSource* source) {
        std::lock_guard lock(mutex_);
        if (lastAudio_ == source) {
            lastAudio_ = nullptr;
        }
    }
    SyntheticAudioSource* lastAudio() const {
        std::lock_guard lock(mutex_);
        return lastAudio_;
    }

private:
    mutable std::mutex mutex_;
    SyntheticOptions options_;
    std::vector<std::string> journal_;
    SyntheticVideoSource* lastSource_ = nullptr;
    SyntheticAudioSource* lastAudio_ = nullptr;
};

} // namespace backreel
