#pragma once

#include "platform/VideoSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace backreel {

namespace portal {
class PortalCast;
struct SourcePicture;
} // namespace portal

// A video source on a screen cast the user chose in the desktop's dialog, run entirely on
// PipeWire's thread. PipeWire hands on a picture only when the screen changed; each is converted
// there (cropped to the compositor's crop and to a region's rectangle, scaled to fit the output
// size) and handed straight to the sink, at most one per frame interval. A timer on the same thread
// ticks at the frame interval and, at a tick in which no picture came, hands on a frame without a
// picture, as the X11 source does for a still screen. The cast ending (the desktop stopped the
// sharing, the stream failed, PipeWire went away) ends the source, and so does a stream that sends
// no picture at all within kFirstPictureDeadline of the start: a desktop may agree on a format
// and then send nothing, which is no recording.
class PortalVideoSource final : public VideoSource {
public:
    // Frames counted since the start. Any thread.
    struct Statistics {
        std::int64_t delivered = 0;   // pictures handed to the sink
        std::int64_t unchanged = 0;   // ticks without a new picture, handed on without one
        std::int64_t droppedBusy = 0; // no picture buffer was free
        std::int64_t skippedFast = 0; // pictures that came sooner than the frame interval
    };

    static constexpr double kFirstPictureDeadline = 4.0; // seconds

    // A null cast (the choice is gone) makes a source whose start fails.
    PortalVideoSource(std::shared_ptr<portal::PortalCast> cast, ContentFilter filter, VideoSourceSettings settings);
    ~PortalVideoSource() override;

    QCoro::Task<std::optional<CaptureError>> start(FrameSink& sink) override;
    void stop() override;

    Statistics statistics() const;

private:
    void takePicture(const portal::SourcePicture& picture);
    void tick();
    void handOn(const ImageBufferPtr& image, MediaTime presentationTime);

    const std::shared_ptr<portal::PortalCast> cast_;
    const ContentFilter filter_;
    const VideoSourceSettings settings_;

    mutable std::mutex mutex_; // guards the statistics
    Statistics statistics_;

    // PipeWire's thread only, once started.
    FrameSink* sink_ = nullptr;
    bool started_ = false;
    bool pictureSinceTick_ = false; // a picture went out since the last tick
    bool anyPicture_ = false;       // a picture went out since the start
    MediaTime startedAt_;
    MediaTime lastPictureTime_;     // the desktop's time of the last picture handed on
    MediaTime lastHandedOn_;        // the time of the last frame handed on, picture or tick
    // Converted pictures, reused once nobody holds them.
    std::vector<std::shared_ptr<std::vector<std::byte>>> pictureSlots_;
    std::vector<std::byte> scratch_;
};

} // namespace backreel
