#pragma once

#include "core/Error.h"
#include "platform/ShareableContent.h"
#include "platform/VideoEncoder.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace backreel {

class SyntheticCaptureStream;

// How the synthetic backend behaves: what it offers and which steps fail.
struct SyntheticOptions {
    ShareableContent content;
    std::uint32_t mainDisplayID = 0;

    std::optional<Error> contentError;
    std::optional<Error> addScreenOutputError;
    std::optional<Error> addAudioOutputError;
    std::optional<Error> startError;
    // When set, a stream that starts tells its delegate it has no audio, for this reason, just
    // before its start completes.
    std::optional<Error> audioLostAtStart;
    std::optional<Error> stopError;

    // Streams deliver frames and audio in real time on their own thread once started. Tests that
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

    void setLastStream(std::weak_ptr<SyntheticCaptureStream> stream) {
        std::lock_guard lock(mutex_);
        lastStream_ = std::move(stream);
    }
    std::shared_ptr<SyntheticCaptureStream> lastStream() const {
        std::lock_guard lock(mutex_);
        return lastStream_.lock();
    }

private:
    mutable std::mutex mutex_;
    SyntheticOptions options_;
    std::vector<std::string> journal_;
    std::weak_ptr<SyntheticCaptureStream> lastStream_;
};

} // namespace backreel
