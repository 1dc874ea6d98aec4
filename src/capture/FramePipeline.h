#pragma once

#include "capture/StillFrames.h"
#include "core/log/Log.h"
#include "platform/VideoEncoder.h"
#include "platform/VideoSource.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace backreel {

// The way of a recording's pictures from its source to the encoder, with no hop between: each
// frame is handed to the encoder on the source's own thread (the encoder converts it there and
// queues it for its own thread, whose packets go into the video store). While the picture stands
// still, the last one is encoded again as StillFrames decides. The encoder's queue is the only
// back pressure on the way: a frame it has no room for is dropped, counted, and logged once per
// burst of drops.
//
// Thread contract: takeFrame() on the source's thread, one call at a time; finish() on the main
// thread once the source has stopped; the counters on any thread.
class FramePipeline final : public FrameSink {
public:
    FramePipeline(std::shared_ptr<VideoEncoder> encoder, Logger logger);

    void takeFrame(const VideoFrame& frame) override;
    // The source has stopped and its last frame came: a still picture is encoded once more at the
    // last tick, so that it lasts until the stop.
    void finish();

    // Frames with a picture taken from the source.
    std::int64_t framesIn() const { return framesIn_.load(std::memory_order_relaxed); }
    // Frames the encoder had no room for.
    std::int64_t framesDropped() const { return framesDropped_.load(std::memory_order_relaxed); }

private:
    void encode(const VideoFrame& frame);

    const std::shared_ptr<VideoEncoder> encoder_;
    const Logger logger_;
    StillFrames still_;             // source's thread only
    std::int64_t droppedInBurst_ = 0; // source's thread only
    std::atomic<std::int64_t> framesIn_{0};
    std::atomic<std::int64_t> framesDropped_{0};
};

} // namespace backreel
