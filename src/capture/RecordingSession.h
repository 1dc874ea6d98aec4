#pragma once

#include "capture/CaptureDelegate.h"
#include "capture/CaptureSetup.h"
#include "capture/MediaStores.h"
#include "capture/MemoryLimit.h"
#include "platform/CaptureStream.h"
#include "core/dispatch/SerialQueue.h"
#include "core/Error.h"
#include "core/log/Log.h"
#include "platform/Platform.h"
#include "platform/VideoEncoder.h"

#include <cstdint>
#include <memory>
#include <QCoroTask>
#include <vector>

namespace backreel {

// How a recording is set up.
struct RecordingSetup {
    ResolvedCapture capture;
    double bufferCapacity = 0;                             // seconds each store keeps
    MemoryLimit memoryLimit = MemoryLimit::defaultLimit(); // on what both stores hold together
};

// One recording: its encoder, capture stream, delegate and the two stores. It exists only while
// it is running or holds what it buffered: start() makes one once everything has started, and
// destroying it stops the capture and closes the encoder, so no callback reaches it afterwards.
//
// Thread contract: start(), stop() and the destructor on the main thread. The stores take
// appends from the encoder's thread and the audio queue. The queues belong to the caller and must
// outlive the session.
class RecordingSession {
public:
    // Opens the encoder (a failure ends the start with the encoder's message), creates the stream
    // with the delegate as its screen and audio output, and starts the capture. Nothing is left
    // running when it fails.
    static QCoro::Task<Expected<std::unique_ptr<RecordingSession>>>
    start(Platform platform, RecordingSetup setup, StreamDelegate* streamDelegate, SerialQueue& captureQueue,
          SerialQueue& audioQueue, Logger log);

    ~RecordingSession();
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // Stops the capture, lets both queues run dry, completes every frame still in the encoder and
    // hands over what the stores held, leaving them empty. Once.
    QCoro::Task<BufferedMedia> stop();

    // What the stores hold now, while the recording goes on (see MediaStores::cut()).
    BufferedMedia cut(StoresAfterCut after) { return stores_->cut(after); }
    // Counts a clip cut from this recording against its memory limit while the handle lives.
    std::shared_ptr<void> holdClip(const std::vector<VideoPacket>& video,
                                   const std::vector<AudioChunk>& audio) {
        return stores_->holdClip(video, audio);
    }

    // Whether this is the stream the session started (a stream that stops by itself names itself).
    bool owns(const CaptureStream& stream) const { return stream_.get() == &stream; }
    const RingBuffer& videoStore() const { return *stores_->video(); }
    const AudioRingBuffer& audioStore() const { return *stores_->audio(); }
    const MediaStores& stores() const { return *stores_; }

private:
    RecordingSession(const RecordingSetup& setup, SerialQueue& captureQueue, SerialQueue& audioQueue,
                     Logger log);

    SerialQueue& captureQueue_;
    SerialQueue& audioQueue_;
    const Logger log_;
    const std::shared_ptr<MediaStores> stores_;
    std::shared_ptr<VideoEncoder> encoder_;
    std::shared_ptr<CaptureDelegate> delegate_;
    std::shared_ptr<CaptureStream> stream_;
    bool stopped_ = false;
};

} // namespace backreel
