#pragma once

#include "platform/CaptureStream.h"
#include "core/dispatch/SerialQueue.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace backreel {

// Where a stream hands its frames or its audio: the output added for them and its queue.
struct StreamTarget {
    std::shared_ptr<StreamOutput> output;
    SerialQueue* queue = nullptr;

    bool isSet() const { return output != nullptr && queue != nullptr; }
};

// How a capture stream hands its frames to the screen output's queue: each in a block of its own,
// which skips the frame when the stream is gone by then (its owner dropped it). At most
// kMaxQueued frames wait at a time; a stream that finds no room drops the frame, so that a slow
// consumer loses frames instead of piling up memory.
//
// Thread contract: any thread; hasRoom() and deliver() of one stream from one thread at a time.
class FrameDelivery {
public:
    static constexpr int kMaxQueued = 2;

    bool hasRoom() const { return queued_->load() < kMaxQueued; }

    template <typename Stream>
    void deliver(const std::weak_ptr<Stream>& stream, const std::shared_ptr<StreamOutput>& output,
                 SerialQueue& queue, VideoFrame frame) {
        queued_->fetch_add(1);
        queue.async([stream, output, frame = std::move(frame), queued = queued_] {
            if (const std::shared_ptr<Stream> self = stream.lock()) {
                output->didOutputVideoFrame(*self, frame);
            }
            queued->fetch_sub(1);
        });
    }

    // Hands the frame (without a picture when the screen did not change) to the screen output when
    // one was added, counted in the statistics' delivered or unchanged frames; `mutex` guards
    // `screen` and `statistics`.
    template <typename Stream, typename Statistics>
    void deliverToScreen(const std::weak_ptr<Stream>& stream, std::mutex& mutex, const StreamTarget& screen,
                         Statistics& statistics, VideoFrame frame) {
        StreamTarget target;
        {
            std::lock_guard lock(mutex);
            target = screen;
            if (target.isSet()) {
                ++(frame.image ? statistics.delivered : statistics.unchanged);
            }
        }
        if (target.isSet()) {
            deliver(stream, target.output, *target.queue, std::move(frame));
        }
    }

private:
    // Shared with the blocks, which may outlive the stream.
    const std::shared_ptr<std::atomic<int>> queued_ = std::make_shared<std::atomic<int>>(0);
};

} // namespace backreel
