#pragma once

#include "platform/AudioSource.h"
#include "platform/CaptureService.h"
#include "support/synthetic/SyntheticState.h"

#include <memory>

namespace backreel {

class Ticker;

// A moving picture at the frame rate on a thread of its own, or only what a test hands it.
class SyntheticVideoSource final : public VideoSource {
public:
    SyntheticVideoSource(std::shared_ptr<SyntheticState> state, ContentFilter filter,
                         VideoSourceSettings settings);
    ~SyntheticVideoSource() override;

    QCoro::Task<std::optional<CaptureError>> start(FrameSink& sink) override;
    void stop() override;

    const ContentFilter& filter() const { return filter_; }

    // Hand-driven delivery, for tests: straight to the sink, on the caller's thread.
    void deliverScreenFrame(MediaTime presentationTime);
    // Ends the capture by itself, as a closed window or a lost display does.
    void failWithError(const QString& reason);

private:
    const std::shared_ptr<SyntheticState> state_;
    const ContentFilter filter_;
    const VideoSourceSettings settings_;
    const ImageBufferPtr picture_;
    std::uint8_t shade_ = 0;

    std::mutex mutex_;
    FrameSink* sink_ = nullptr; // between start() and stop()
    std::unique_ptr<Ticker> generator_;
};

// Silence in 10 ms pieces on a thread of its own, or only what a test hands it.
class SyntheticAudioSource final : public AudioSource {
public:
    explicit SyntheticAudioSource(std::shared_ptr<SyntheticState> state);
    ~SyntheticAudioSource() override;

    MaybeError start(const AudioFormat& format, AudioHandler onAudio, StateHandler onState) override;
    void stop() override;

    void deliverAudio(MediaTime presentationTime);
    // Reports that the sound was lost (or, with none, is back), from a thread of its own.
    void changeAudio(const std::optional<Error>& lost);

private:
    const std::shared_ptr<SyntheticState> state_;
    std::mutex mutex_;
    AudioHandler onAudio_;
    StateHandler onState_;
    std::unique_ptr<Ticker> generator_;
};

class SyntheticCaptureService final : public CaptureService {
public:
    explicit SyntheticCaptureService(std::shared_ptr<SyntheticState> state)
        : state_(std::move(state)) {}

    QCoro::Task<Expected<ShareableContent, CaptureError>> shareableContent() override;
    std::unique_ptr<VideoSource> makeVideoSource(const ContentFilter& filter,
                                                 const VideoSourceSettings& settings) override;

private:
    std::shared_ptr<SyntheticState> state_;
};

class SyntheticAudioService final : public AudioService {
public:
    explicit SyntheticAudioService(std::shared_ptr<SyntheticState> state)
        : state_(std::move(state)) {}
    std::unique_ptr<AudioSource> makeSource(const AudioInput&) override {
        return std::make_unique<SyntheticAudioSource>(state_);
    }
    Expected<AudioInventory> inventory() override { return AudioInventory{}; }

private:
    std::shared_ptr<SyntheticState> state_;
};

} // namespace backreel
