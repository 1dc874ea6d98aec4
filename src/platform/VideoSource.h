#pragma once

#include "platform/CaptureError.h"
#include "core/media/MediaTime.h"
#include "core/media/VideoFrame.h"
#include "platform/ContentFilter.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <QRectF>

namespace backreel {

// How a video source delivers: pictures of width × height pixels, at most one per frame interval.
struct VideoSourceSettings {
    std::int32_t width = 0;  // output pixels
    std::int32_t height = 0; // output pixels
    MediaTime frameInterval = MediaTime(1, 30);
    std::optional<QRectF> sourceRect; // a region of the display, in its top-left points
    bool scalesToFit = false;         // a display or window is scaled into the output size

    friend bool operator==(const VideoSourceSettings&, const VideoSourceSettings&) = default;
};

// Where a video source hands what it captures, straight from its own thread (the grab thread, or
// PipeWire's): a frame with a picture when the content may have changed, and a frame without one,
// with the tick's time, at a tick where nothing changed. One call at a time; the picture may be
// kept only by reference (the source reuses its memory once every reference has gone).
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void takeFrame(const VideoFrame& frame) = 0;
};

// A running capture of one display, window or region.
//
// Thread contract: start(), stop() and the destructor on the main thread. The sink is called on
// the source's own thread between start() and stop(). ended() is emitted on the main thread.
class VideoSource : public QObject {
    Q_OBJECT

public:
    ~VideoSource() override = default;

    // Starts capturing into the sink, which must outlive the capture. Completes once the source
    // runs, or with the platform's reason when it cannot start; then nothing runs.
    virtual QCoro::Task<std::optional<CaptureError>> start(FrameSink& sink) = 0;
    // Stops the capture promptly: once it returns, the sink is not called again and ended() is not
    // emitted any more. Idempotent; also done by the destructor. Overrides call the base first.
    virtual void stop();

signals:
    // The capture ended by itself (the window closed, the display, the share or the connection
    // went away), with the reason. Once, never after stop().
    void ended(const backreel::CaptureError& reason);

protected:
    // Any thread: the capture ended by itself. Only the first end counts; none after stop().
    void reportEnd(CaptureError reason);

private:
    // Main thread, queued by reportEnd().
    Q_INVOKABLE void emitEnd();

    // The reason crosses threads under this mutex of ours: Qt's event queue locks with futexes
    // that a thread checker cannot see, so the queued call carries no data.
    std::mutex mutex_;
    std::optional<CaptureError> end_;
    bool endReported_ = false;
    bool stopped_ = false;
};

} // namespace backreel
