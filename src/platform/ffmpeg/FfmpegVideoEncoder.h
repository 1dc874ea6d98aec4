#pragma once

#include "platform/ffmpeg/FfmpegCodecSetup.h"
#include "platform/ffmpeg/FfmpegPictureConverter.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/ffmpeg/FfmpegVideoEncoderService.h"
#include "platform/ffmpeg/KeyFrameSchedule.h"
#include "platform/VideoEncoder.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <QString>
#include <thread>
#include <vector>

namespace backreel {

// A video encoder over one open FFmpeg codec, with its own thread.
//
// The path of a frame: encode() converts the BGRA picture on the caller's thread into a YUV frame
// taken from a small pool (scaling it first when its size is not the encoder's), and queues it.
// Converting costs less than copying the BGRA picture would (1920×1080 on the two-core
// development machine: 0.41 ms for ARGBToI420 against 0.56 ms for a memcpy of the BGRA bytes;
// the whole encode() about 0.6 ms, see bench/CompressionBench.cpp), and it lets the capture
// backend reuse its buffer at once: holding on to the picture instead would race with a backend
// that draws the next frame into the same memory. The encoder's thread forces key frames as the
// schedule asks, runs the codec and hands each packet to the output, in order. A packet's bytes
// stay in the codec's reference-counted packet, which the VideoPacket owns.
//
// A still picture shown again (a repeat) costs little: encode() does not convert it again, and the
// encoder's thread sends the picture it kept from the frame before, or, when that frame came out as
// a key frame and a key frame is wanted again, hands on the same packet bytes at the new time
// without running the codec at all. The copy decodes to the same picture and leaves the decoder
// where the codec's next frame expects it, since the codec saw nothing in between.
//
// Back pressure, the only one between a capture and the stores: converted frames wait for the
// codec up to kMaxQueuedSeconds of showing time (their durations) and kMaxPendingFrames frames. A frame beyond either
// is dropped and counted (droppedFrames()), encode() says so, and the output is not called for it.
// The pool keeps the frames a steady encoder needs; those a burst took are freed again. A frame that cannot be converted or encoded is reported to output.error as
// Kind::encodeFailed; the encoder carries on with the next one.
//
// Threads: encode(), finish(), close() and the destructor may be called from any thread but the
// encoder's own (close() from inside the output only stops it; the destructor joins). encode()
// calls are serialised with each other. The output runs only on the encoder's thread.
class FfmpegVideoEncoder final : public VideoEncoder {
public:
    static constexpr std::size_t kMaxPendingFrames = FfmpegVideoEncoderService::kMaxPendingFrames;
    static constexpr double kMaxQueuedSeconds = FfmpegVideoEncoderService::kMaxQueuedSeconds;

    // Takes over the open codec and starts the encoder's thread.
    FfmpegVideoEncoder(OpenCodec codec, const VideoEncoderSettings& settings, EncoderOutput output);
    ~FfmpegVideoEncoder() override;

    FfmpegVideoEncoder(const FfmpegVideoEncoder&) = delete;
    FfmpegVideoEncoder& operator=(const FfmpegVideoEncoder&) = delete;

    bool encode(const VideoFrame& frame) override;
    void finish() override;
    void close() override;
    const VideoStreamFormat& format() const override { return *format_; }

    // Frames dropped so far because the codec could not keep up. Any thread.
    std::int64_t droppedFrames() const { return droppedFrames_.load(std::memory_order_relaxed); }
    // FFmpeg's name of the codec ("libx264", "hevc_vaapi", ...).
    const char* encoderName() const { return encoderName_; }

private:
    struct PendingFrame {
        AVFramePtr frame; // null for a frame that could not be converted
        MediaTime presentationTime;
        MediaTime duration;
        QString failure; // why there is no frame
        bool keyFrame = false;
        bool repeat = false; // no frame: show the last picture again
    };
    // The last key packet delivered, with the index of the frame it was made from.
    struct KeyPacket {
        std::shared_ptr<const AVPacket> owner;
        std::int64_t index = 0;
    };
    // What the encoder's thread remembers of a frame until its packet comes out.
    struct SubmittedFrame {
        std::int64_t index = 0;
        MediaTime presentationTime;
        MediaTime duration;
    };

    AVFramePtr takePoolFrame();
    void returnToPool(AVFramePtr frame);

    // Encoder thread.
    void run();
    void encodePending(PendingFrame pending);
    void repeatLast(const PendingFrame& pending);
    // Sends the frame to the codec at the time given and hands on what comes out.
    void submit(AVFrame& frame, const PendingFrame& pending);
    // The frame's PTS in codec ticks, after the last one.
    std::int64_t nextTicks(MediaTime presentationTime);
    int sendFrame(AVFrame* frame);
    void drain();
    void receivePackets();
    void deliverPacket(std::int64_t ticks);
    // Hands the packet's bytes to the output as a VideoPacket, unless closed.
    void hand(const std::shared_ptr<const AVPacket>& owner, MediaTime presentationTime, MediaTime duration,
              bool keyFrame);
    void reportLostFrame(const QString& message);

    const char* const encoderName_;
    const VideoStreamFormatPtr format_;
    const EncoderOutput output_;

    // Serialises encode() calls and guards the converter and the flag after it.
    std::mutex submitMutex_;
    FfmpegPictureConverter converter_;
    bool lastPictureQueued_ = false; // the last picture reached the queue, so a repeat can reuse it

    // Guards everything below, shared with the encoder's thread.
    std::mutex mutex_;
    std::condition_variable wake_;     // the encoder's thread has work or must stop
    std::condition_variable finished_; // the encoder's thread has drained the codec
    std::deque<PendingFrame> pending_;
    std::vector<AVFramePtr> framePool_;
    bool finishing_ = false;
    bool drained_ = false;
    bool closed_ = false;

    std::atomic<std::int64_t> droppedFrames_{0};

    // Encoder thread only (and close() once it has joined the thread).
    OpenCodec codec_;
    KeyFrameSchedule keyFrameSchedule_;
    AVPacketPtr packet_; // the next packet to receive into; a delivered one goes to its VideoPacket
    std::map<std::int64_t, SubmittedFrame> submitted_; // by frame PTS in 1/90000 s
    std::int64_t nextFrameIndex_ = 0;
    std::int64_t lastTicks_ = 0;
    AVFramePtr lastFrame_; // the last picture sent, kept for repeats
    std::optional<KeyPacket> lastKey_;

    // Guards joining the thread, so that every close() returns only once it has ended.
    std::mutex closeMutex_;
    std::thread thread_;
    std::thread::id threadId_; // set before any frame can reach the thread
};

} // namespace backreel
