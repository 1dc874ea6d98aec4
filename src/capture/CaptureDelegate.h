#pragma once

#include "capture/MediaStores.h"
#include "capture/StillFrames.h"
#include "platform/CaptureStream.h"
#include "core/log/Log.h"
#include "platform/VideoEncoder.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace backreel {

// The stream's output for one recording: frames go to the encoder, audio is copied once into the
// audio store. While the picture stands still the last one is encoded again now and then (see
// StillFrames).
//
// Thread contract: frames arrive on the capture queue, audio on the audio queue; videoFramesIn is
// touched only on the first, audioChunksIn only on the second until the session reads it after
// draining that queue. finishVideo() on the capture queue too.
class CaptureDelegate final : public StreamOutput {
public:
    CaptureDelegate(std::shared_ptr<VideoEncoder> encoder, std::shared_ptr<MediaStores> stores,
                    Logger logger);

    void didOutputVideoFrame(CaptureStream& stream, const VideoFrame& frame) override;
    void didOutputAudio(CaptureStream& stream, const AudioView& audio) override;
    // The capture has stopped and its last frame came: a still picture is encoded once more at the
    // last tick, so that it lasts until the stop.
    void finishVideo();

    std::int64_t videoFramesIn() const { return videoFramesIn_.load(std::memory_order_relaxed); }
    std::int64_t audioChunksIn() const { return audioChunksIn_.load(std::memory_order_relaxed); }

private:
    const std::shared_ptr<VideoEncoder> encoder_;
    const std::shared_ptr<MediaStores> stores_;
    const Logger logger_;
    StillFrames still_; // capture queue only
    std::atomic<std::int64_t> videoFramesIn_{0};
    std::atomic<std::int64_t> audioChunksIn_{0};
};

} // namespace backreel
