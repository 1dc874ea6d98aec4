#pragma once

#include "platform/ContentFilter.h"
#include "core/Error.h"
#include "core/media/AudioChunk.h"
#include "core/media/VideoFrame.h"
#include "platform/StreamConfiguration.h"

#include <functional>
#include <memory>
#include <optional>

namespace backreel {

class SerialQueue;
class CaptureStream;

enum class StreamOutputType { screen = 0, audio = 1 };

// What the user asks to capture, where the desktop's own dialog chooses it: a display, a window,
// or a display to cut a region from.
enum class ContentKind { display, window, region };

// The code of the error with which a choice ends when the user cancelled the desktop's dialog.
inline constexpr int kCaptureCancelledCode = -128;

// Receives what the stream captures. Frames arrive on the queue the screen output was added with,
// audio on the audio output's queue; the calls of each never overlap. Neither may keep what it is
// given beyond the call except by reference (the frame's image) or by copying (the audio).
class StreamOutput {
public:
    virtual ~StreamOutput() = default;
    virtual void didOutputVideoFrame(CaptureStream& stream, const VideoFrame& frame) = 0;
    virtual void didOutputAudio(CaptureStream& stream, const AudioView& audio) = 0;
};

// Told when the stream stops by itself, and when its audio is lost or comes back while the video
// goes on. Any thread. The delegate must outlive the stream.
class StreamDelegate {
public:
    virtual ~StreamDelegate() = default;
    virtual void streamDidStopWithError(CaptureStream& stream, const Error& error) = 0;
    // lost: why the stream records no audio now; none when audio flows again. Told only of
    // changes, starting with a loss (which may come before the capture's start completes).
    virtual void streamAudioDidChange(CaptureStream& /*stream*/, const std::optional<Error>& /*lost*/) {}
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

    // Whether the user chooses what to capture in a dialog of the desktop's own (on Wayland, where
    // no application sees the others' windows), not from what getShareableContent lists.
    virtual bool choosesContentInDialog() const { return false; }
    // Asks the desktop's dialog for one display or window (for a region, the display it lies on)
    // and completes with content holding exactly that one, sized as it will be captured; a stream
    // created for it captures what the user chose. A cancelled dialog completes with an error of
    // code kCaptureCancelledCode. Called on the main thread; completes on any thread. Services
    // without a dialog complete with their shareable content.
    virtual void chooseContent(ContentKind /*kind*/, ShareableContentCompletion completion) {
        getShareableContent(std::move(completion));
    }
    virtual std::shared_ptr<CaptureStream> createStream(const ContentFilter& filter,
                                                        const StreamConfiguration& configuration,
                                                        StreamDelegate* delegate) = 0;
};

} // namespace backreel
