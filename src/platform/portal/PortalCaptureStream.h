#pragma once

#include "platform/CaptureStream.h"
#include "platform/FrameDelivery.h"
#include "platform/SystemAudio.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace backreel {

namespace portal {
class PortalCast;
struct SourcePicture;
} // namespace portal

// A capture stream on a screen cast the user chose in the desktop's dialog. PipeWire hands on a
// picture only when the screen changed; each is converted (cropped to the compositor's crop and
// to a region's rectangle, scaled to fit the configured size) on PipeWire's thread and handed to
// the screen output's queue, at most one per minimum frame interval. A tick thread of the
// stream's own hands on a frame without a picture at every tick in which no picture came, for the
// output to repeat the last picture when it sees fit (as X11CaptureStream does for a still
// screen). At most two frames wait on the queue; further ones are dropped. Audio as
// startStreamAudio() runs it. The cast ending (the desktop stopped the sharing, the stream failed,
// PipeWire went away) stops the stream by itself: the delegate is told on the tick thread.
//
// Thread contract: addStreamOutput, startCapture and stopCapture on the owner's thread (the main
// thread); completions run before those calls return. The stream must be owned by a
// std::shared_ptr.
class PortalCaptureStream final : public CaptureStream,
                                  public std::enable_shared_from_this<PortalCaptureStream> {
public:
    // Frames counted since the start. Any thread.
    struct Statistics {
        std::int64_t delivered = 0;   // pictures handed to the screen output's queue
        std::int64_t unchanged = 0;   // ticks without a new picture, handed on without one
        std::int64_t droppedBusy = 0; // the queue still held two frames, or no buffer was free
        std::int64_t skippedFast = 0; // pictures that came sooner than the frame interval
    };

    // A null cast (the choice is gone) makes a stream whose start fails.
    PortalCaptureStream(std::shared_ptr<portal::PortalCast> cast, ContentFilter filter,
                        StreamConfiguration configuration, StreamDelegate* delegate,
                        std::shared_ptr<SystemAudioService> audio);
    ~PortalCaptureStream() override;

    MaybeError addStreamOutput(std::shared_ptr<StreamOutput> output, StreamOutputType type,
                               SerialQueue& queue) override;
    void startCapture(CaptureCompletion completion) override;
    void stopCapture(CaptureCompletion completion) override;

    Statistics statistics() const;

private:
    void takePicture(const portal::SourcePicture& picture);
    void runTicks();
    void deliverFrame(const ImageBufferPtr& image, MediaTime presentationTime);
    void shutDown();

    const std::shared_ptr<portal::PortalCast> cast_;
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
    std::optional<Error> ended_;    // the cast ended by itself; the tick thread tells the delegate
    bool pictureSinceTick_ = false; // a picture went out since the last tick
    MediaTime lastPictureTime_;     // the desktop's time of the last picture handed on
    MediaTime lastHandedOn_;        // the time of the last frame handed on, picture or tick
    Statistics statistics_;
    FrameDelivery delivery_;

    // Used only on PipeWire's thread: converted pictures, reused once nobody holds them.
    std::vector<std::shared_ptr<std::vector<std::byte>>> pictureSlots_;
    std::vector<std::byte> scratch_;

    std::unique_ptr<SystemAudioSource> audioSource_;
    std::thread tickThread_;
};

} // namespace backreel
