#pragma once

#include "platform/VideoSource.h"

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

// A video source on an X11 display. A grab thread of its own ("X11 grab") ticks at the frame
// interval on the monotonic clock (late ticks are skipped, never caught up) and hands each frame
// straight to the sink: a grabbed picture where it may have changed (see
// FrameGrabber::hasChanged), else a frame without a picture with the tick's time. The content
// going away (a closed window, a lost connection) ends the source.
class X11VideoSource final : public VideoSource {
public:
    // Frames counted since the start. Any thread.
    struct Statistics {
        std::int64_t delivered = 0;   // pictures handed to the sink
        std::int64_t unchanged = 0;   // ticks where nothing changed, handed on without a picture
        std::int64_t droppedBusy = 0; // no picture buffer was free
        std::int64_t skippedLate = 0; // ticks that passed while a grab took too long
    };

    X11VideoSource(ContentFilter filter, VideoSourceSettings settings);
    ~X11VideoSource() override;

    // Opens a connection, sets up the grab and hands the first picture to the sink before it
    // completes (with the X error's text when that fails), then starts the grab thread.
    QCoro::Task<std::optional<CaptureError>> start(FrameSink& sink) override;
    void stop() override;

    Statistics statistics() const;

private:
    std::optional<CaptureError> startGrabbing(FrameSink& sink);
    void runGrabLoop();
    void handOn(const ImageBufferPtr& image, MediaTime presentationTime);

    const ContentFilter filter_;
    const VideoSourceSettings settings_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    Statistics statistics_;

    // Set by start() before the grab thread runs, then used by the grab thread alone.
    FrameSink* sink_ = nullptr;
    std::shared_ptr<x11::X11Connection> connection_;
    std::unique_ptr<x11::FrameGrabber> grabber_;
    std::thread grabThread_;
};

} // namespace backreel
