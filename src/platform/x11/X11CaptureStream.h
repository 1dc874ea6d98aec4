#pragma once

#include "platform/CaptureStream.h"
#include "platform/FrameDelivery.h"
#include "platform/SystemAudio.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace backreel {

namespace x11 {
class FrameGrabber;
class X11Connection;
} // namespace x11

// A capture stream on an X11 display. Screen frames come from a grab thread of the stream's own,
// paced by the configuration's minimum frame interval on the monotonic clock (late ticks are
// skipped, never caught up); at most two frames wait on the screen output's queue at a time, any
// further frame is dropped. Only a tick where the picture may have changed grabs one (see
// FrameGrabber::hasChanged); any other tick hands on a frame without a picture, with the tick's time,
// for the output to repeat the last picture when it sees fit. Audio comes from a SystemAudioSource
// and is handed to the audio output's queue synchronously, because its bytes are only valid during
// the source's handler. Audio that cannot start, or that the source loses, leaves the video
// running; the delegate is told of the loss, and of the audio's return.
//
// Thread contract: addStreamOutput, startCapture and stopCapture on the owner's thread (the main
// thread); completions run before those calls return or on the grab thread; the delegate is told
// of a stop on the grab thread, of the audio on the audio source's thread (or during startCapture,
// when there is no audio to start). The stream must be owned by a std::shared_ptr.
class X11CaptureStream final : public CaptureStream, public std::enable_shared_from_this<X11CaptureStream> {
public:
    // Frames counted since the start. Any thread.
    struct Statistics {
        std::int64_t delivered = 0;   // handed to the screen output's queue
        std::int64_t unchanged = 0;   // ticks where nothing changed, handed on without a picture
        std::int64_t droppedBusy = 0; // the queue still held two frames, or no buffer was free
        std::int64_t skippedLate = 0; // ticks that passed while a grab took too long
    };

    X11CaptureStream(ContentFilter filter, StreamConfiguration configuration, StreamDelegate* delegate,
                     std::shared_ptr<SystemAudioService> audio);
    ~X11CaptureStream() override;

    MaybeError addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                               SerialQueue& queue) override;
    // Opens a connection, sets up the grab and takes the first frame before it completes (with
    // the X error's text when that fails), then starts the audio and the grab thread.
    void startCapture(CaptureCompletion completion) override;
    void stopCapture(CaptureCompletion completion) override;

    Statistics statistics() const;

private:
    void startAudio();
    void runGrabLoop();
    void deliverFrame(const ImageBufferPtr& image, MediaTime presentationTime);
    void endWithError(const Error& error);
    void shutDown();

    const ContentFilter filter_;
    const StreamConfiguration configuration_;
    StreamDelegate* const delegate_;
    const std::shared_ptr<SystemAudioService> audioService_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    StreamTarget screen_;
    StreamTarget audio_;
    bool started_ = false;
    bool stopping_ = false;
    Statistics statistics_;
    FrameDelivery delivery_;

    // Owned by the owner's thread until the grab thread starts, then by the grab thread.
    std::shared_ptr<x11::X11Connection> connection_;
    std::unique_ptr<x11::FrameGrabber> grabber_;
    std::unique_ptr<SystemAudioSource> audioSource_;
    std::thread grabThread_;
};

} // namespace backreel
