#pragma once

#include "platform/ContentFilter.h"
#include "platform/Error.h"
#include "platform/StreamConfiguration.h"
#include "platform/media/MediaSample.h"

#include <functional>
#include <memory>

namespace backreel {

class SerialQueue;
class CaptureStream;

enum class StreamOutputType { screen = 0, audio = 1, microphone = 2 };

// Receives the stream's samples. Screen samples arrive on the queue the screen output was added
// with, audio samples on the audio output's queue; each output's callbacks never overlap.
class StreamOutput {
public:
    virtual ~StreamOutput() = default;
    virtual void didOutputSampleBuffer(CaptureStream& stream, const MediaSamplePtr& sample,
                                       StreamOutputType type) = 0;
};

// Told when the stream stops by itself. Any thread. The delegate must outlive the stream.
class StreamDelegate {
public:
    virtual ~StreamDelegate() = default;
    virtual void streamDidStopWithError(CaptureStream& stream, const Error& error) = 0;
};

using CaptureCompletion = std::function<void(MaybeError)>;

// A running capture of one content filter. Created and driven from the main thread; completion
// handlers may run on any thread. Destroying a stream stops it without calling its delegate.
class CaptureStream {
public:
    virtual ~CaptureStream() = default;

    // The queue must outlive the stream.
    virtual MaybeError addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                                       SerialQueue& queue) = 0;
    virtual void startCapture(CaptureCompletion completion) = 0;
    virtual void stopCapture(CaptureCompletion completion) = 0;
};

// The capture service: what can be captured, and streams that capture it.
class CaptureService {
public:
    virtual ~CaptureService() = default;

    // Completes on any thread with the displays, windows and applications, or an error.
    virtual void getShareableContent(ShareableContentCompletion completion) = 0;
    virtual std::shared_ptr<CaptureStream> createStream(const ContentFilter& filter,
                                                        const StreamConfiguration& configuration,
                                                        StreamDelegate* delegate) = 0;
};

} // namespace backreel
