#pragma once

#include "core/Error.h"
#include "platform/CaptureError.h"
#include "platform/ShareableContent.h"
#include "platform/VideoEncoder.h"

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

    // Sources deliver in real time on their own threads; off, tests deliver by hand.
    bool generateSamples = true;

    bool hardwareHevcAvailable = false;
    std::optional<EncoderError> openError;
    int encodeLatencyMicroseconds = 1000;
    int packetBytes = 64;
};

// The options, a journal of the platform's calls and the newest live source of each kind. Any thread.
class SyntheticState {
public:
    explicit SyntheticState(SyntheticOptions options = {})
        : options_(std::move(options)) {}

    SyntheticOptions options() const { return locked(options_); }
    template <typename Change> void changeOptions(Change change) {
        std::lock_guard lock(mutex_);
        change(options_);
    }

    void record(std::string event) {
        std::lock_guard lock(mutex_);
        journal_.push_back(std::move(event));
    }
    std::vector<std::string> journal() const { return locked(journal_); }
    void clearJournal() {
        std::lock_guard lock(mutex_);
        journal_.clear();
    }

    SyntheticVideoSource* lastSource() const { return locked(lastSource_); }
    SyntheticAudioSource* lastAudio() const { return locked(lastAudio_); }
    void track(SyntheticVideoSource* source, bool alive) { track(lastSource_, source, alive); }
    void track(SyntheticAudioSource* source, bool alive) { track(lastAudio_, source, alive); }

private:
    template <typename T> T locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }
    template <typename Source> void track(Source*& last, Source* source, bool alive) {
        std::lock_guard lock(mutex_);
        if (alive || last == source) {
            last = alive ? source : nullptr;
        }
    }

    mutable std::mutex mutex_;
    SyntheticOptions options_;
    std::vector<std::string> journal_;
    SyntheticVideoSource* lastSource_ = nullptr;
    SyntheticAudioSource* lastAudio_ = nullptr;
};

} // namespace backreel
