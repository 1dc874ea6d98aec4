#pragma once

#include "platform/CaptureStream.h"
#include "support/synthetic/SyntheticState.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace backreel {

// A capture stream that makes its own content: a moving BGRA test picture and a 440 Hz tone as
// 48 kHz stereo float audio, both stamped with the monotonic clock.
class SyntheticCaptureStream final : public CaptureStream,
                                     public std::enable_shared_from_this<SyntheticCaptureStream> {
public:
    SyntheticCaptureStream(std::shared_ptr<SyntheticState> state, ContentFilter filter,
                           StreamConfiguration configuration, StreamDelegate* delegate);
    ~SyntheticCaptureStream() override;

    MaybeError addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                               SerialQueue& queue) override;
    void startCapture(CaptureCompletion completion) override;
    void stopCapture(CaptureCompletion completion) override;

    const ContentFilter& filter() const { return filter_; }
    const StreamConfiguration& configuration() const { return configuration_; }

    // Hand-driven delivery, for tests: to the matching output's queue.
    void deliverScreenFrame(MediaTime presentationTime, bool withImage = true);
    void deliverFrame(const VideoFrame& frame);
    // A 440 Hz stereo tone of the given number of frames.
    void deliverAudio(MediaTime presentationTime, std::int64_t frames = 480);
    void deliverAudio(std::shared_ptr<const std::vector<float>> interleavedStereo,
                      MediaTime presentationTime);
    // Reports that the stream stopped by itself, from a thread of its own.
    void failWithError(const Error& error);
    // Reports that the audio was lost (or, with none, is back), from a thread of its own.
    void changeAudio(const std::optional<Error>& lost);

private:
    struct Output {
        std::shared_ptr<StreamOutput> output;
        SerialQueue* queue = nullptr;
    };

    void generate();
    void stopGenerating();
    Output output(StreamOutputType type);

    const std::shared_ptr<SyntheticState> state_;
    const ContentFilter filter_;
    const StreamConfiguration configuration_;
    StreamDelegate* const delegate_;

    std::mutex mutex_;
    std::condition_variable wake_;
    Output screen_;
    Output audio_;
    bool running_ = false;
    std::thread generator_;
    ImageBufferPtr picture_;
};

class SyntheticCaptureService final : public CaptureService {
public:
    explicit SyntheticCaptureService(std::shared_ptr<SyntheticState> state)
        : state_(std::move(state)) {}

    void getShareableContent(ShareableContentCompletion completion) override;
    std::shared_ptr<CaptureStream> createStream(const ContentFilter& filter,
                                                const StreamConfiguration& configuration,
                                                StreamDelegate* delegate) override;

private:
    std::shared_ptr<SyntheticState> state_;
};

} // namespace backreel
