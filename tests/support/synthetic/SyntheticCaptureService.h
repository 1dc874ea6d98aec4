#pragma once

#include "platform/AudioSource.h"
#include "platform/CaptureService.h"
#include "support/synthetic/SyntheticState.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace backreel {

// A video source that makes its own content: a moving BGRA test picture at the frame rate, on a
// thread of its own, stamped with the monotonic clock; or, with generateSamples off, only what a
// test hands it.
class SyntheticVideoSource final : public VideoSource {
public:
    SyntheticVideoSource(std::shared_ptr<SyntheticState> state, ContentFilter filter, VideoSourceSettings settings);
    ~SyntheticVideoSource() override;

    QCoro::Task<std::optional<CaptureError>> start(FrameSink& sink) override;
    void stop() override;

    const ContentFilter& filter() const { return filter_; }
    const VideoSourceSettings& settings() const { return settings_; }

    // Hand-driven delivery, for tests: straight to the sink, on the caller's thread.
    void deliverScreenFrame(MediaTime presentationTime, bool withImage = true);
    void deliverFrame(const VideoFrame& frame);
    // Ends the capture by itself, as a closed window or a lost display does.
    void failWithError(const QString& reason);

private:
    void generate();

    const std::shared_ptr<SyntheticState> state_;
    const ContentFilter filter_;
    const VideoSourceSettings settings_;

    std::mutex mutex_;
    std::condition_variable wake_;
    FrameSink* sink_ = nullptr;
    bool running_ = false; // generating
    bool started_ = false; // between start() and stop()
    std::thread generator_;
    ImageBufferPtr picture_;
};

// Sound that makes its own content: a 440 Hz tone as 48 kHz stereo float in 10 ms pieces, on a
// thread of its own; or, with generateAudio off, only what a test hands it.
class SyntheticAudioSource final : public AudioSource {
public:
    explicit SyntheticAudioSource(std::shared_ptr<SyntheticState> state)
        : state_(std::move(state)) {}
    ~SyntheticAudioSource() override { stop(); }

    MaybeError start(const AudioFormat& format, AudioHandler onAudio, StateHandler onState) override;
    void stop() override;

    // A 440 Hz stereo tone of the given number of frames, straight to the handler.
    void deliverAudio(MediaTime presentationTime, std::int64_t frames = 480);
    void deliverAudio(std::shared_ptr<const std::vector<float>> interleavedStereo, MediaTime presentationTime);
    // Reports that the sound was lost (or, with none, is back), from a thread of its own.
    void changeAudio(const std::optional<Error>& lost);

private:
    void generate();

    const std::shared_ptr<SyntheticState> state_;
    std::mutex mutex_;
    std::condition_variable wake_;
    AudioHandler onAudio_;
    StateHandler onState_;
    bool running_ = false;
    std::thread generator_;
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
    std::unique_ptr<AudioSource> makeSource() override;

private:
    std::shared_ptr<SyntheticState> state_;
};

} // namespace backreel
