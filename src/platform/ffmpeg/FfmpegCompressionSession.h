#pragma once

#include "platform/CompressionSession.h"
#include "platform/ffmpeg/FfmpegCompressionService.h"
#include "platform/ffmpeg/FfmpegEncoder.h"
#include "platform/ffmpeg/FfmpegPictureConverter.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/ffmpeg/KeyFrameSchedule.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace backreel {

// A compression session over one FFmpeg encoder, with its own encoder thread.
//
// The path of a frame: encodeFrame() converts the BGRA picture on the caller's thread into a YUV
// frame taken from a small pool (scaling it first when its size is not the session's), and queues
// it. Converting costs less than copying the BGRA picture would (1920×1080 on the two-core
// development machine: 0.41 ms for ARGBToI420 against 0.56 ms for a memcpy of the BGRA bytes;
// the whole encodeFrame() about 0.6 ms, see bench/CompressionBench.cpp), and it lets the capture
// backend reuse its buffer at once: holding on to the picture instead would race with a backend
// that draws the next frame into the same memory. Until prepareToEncodeFrames() has run, the
// first encodeFrame() also opens the encoder, which takes tens of milliseconds. The encoder
// thread forces key frames as the schedule asks, runs the encoder and hands each packet to the
// output callback, in order.
//
// Back pressure: at most kMaxPendingFrames converted frames wait for the encoder. A frame that
// arrives while that many wait is dropped; the drop is reported to the output callback with
// status 0 and no sample, from the encoder thread like every other callback.
//
// Threads: every method may be called from any thread. encodeFrame() calls are serialised with
// each other and with setProperty(), prepareToEncodeFrames() and completeFrames(). The output
// callback runs only on the encoder thread. The session must not be destroyed from inside its
// own output callback.
class FfmpegCompressionSession final : public CompressionSession {
public:
    static constexpr std::size_t kMaxPendingFrames = FfmpegCompressionService::kMaxPendingFrames;

    // The encoder is opened by prepareToEncodeFrames(), or by the first encodeFrame() without it.
    FfmpegCompressionSession(std::int32_t width, std::int32_t height, FourCC codecType,
                             EncoderCandidate encoder, std::string softwarePreset,
                             CompressionOutputCallback outputCallback, void* outputCallbackRefCon);
    ~FfmpegCompressionSession() override;

    FfmpegCompressionSession(const FfmpegCompressionSession&) = delete;
    FfmpegCompressionSession& operator=(const FfmpegCompressionSession&) = delete;

    // Takes effect when the encoder opens: once it is open, every change fails with kParameter, as
    // does a value of the wrong type or out of range. The session never reorders frames (decode
    // time = presentation time), so allowFrameReordering = true is accepted and changes nothing.
    std::int32_t setProperty(CompressionProperty key, const PropertyValue& value) override;
    // Opens the encoder and starts the encoder thread.
    std::int32_t prepareToEncodeFrames() override;
    // Any thread (the capture queue). Returns once the picture is converted and queued (or
    // dropped); kInvalidSession after completeFrames() or invalidate().
    std::int32_t encodeFrame(const ImageBufferPtr& image, MediaTime presentationTime,
                             MediaTime duration) override;
    // Delivers every frame submitted so far, then drains the encoder. A drained encoder cannot take
    // frames again, so this finishes the session whatever completeUntil says: later encodeFrame()
    // calls fail with kInvalidSession. Its only caller completes right before invalidating.
    std::int32_t completeFrames(MediaTime completeUntil) override;
    // Discards what is still queued, stops and joins the encoder thread. Idempotent; run by the
    // destructor too. Called from inside the output callback, it stops the thread without joining.
    void invalidate() override;

private:
    struct PendingFrame {
        AVFramePtr frame;
        MediaTime presentationTime;
        MediaTime duration;
    };
    // What the encoder thread remembers of a frame until its packet comes out.
    struct SubmittedFrame {
        std::int64_t index = 0;
        MediaTime presentationTime;
        MediaTime duration;
    };

    // Under submitMutex_.
    std::int32_t openEncoderLocked();
    AVFramePtr takePoolFrame();

    // Encoder thread.
    void runEncoder();
    void encodePending(PendingFrame pending);
    std::int32_t sendFrame(AVFrame* frame);
    void receivePackets();
    void deliverPacket(AVPacket& packet);
    void deliver(std::int32_t status, const MediaSamplePtr& sample);

    const std::int32_t width_;
    const std::int32_t height_;
    const FourCC codecType_;
    const EncoderCandidate candidate_;
    const CompressionOutputCallback outputCallback_;
    void* const outputCallbackRefCon_;

    // Guards the settings, the encoder before the thread starts and the converter, and keeps
    // submissions in order. The encoder thread never takes it.
    std::mutex submitMutex_;
    EncoderSettings settings_;
    double maxKeyFrameIntervalDuration_ = 0;
    FfmpegEncoder encoder_;
    bool opened_ = false;
    // The status of a failed open, returned from then on instead of trying again for every frame.
    std::int32_t openFailure_ = compression_status::kNoError;
    // Made when the encoder opens, which decides the frames' format.
    std::optional<FfmpegPictureConverter> converter_;
    // Set by open; read by the encoder thread, which starts after it.
    FormatDescriptionPtr formatDescription_;
    KeyFrameSchedule keyFrameSchedule_;

    // Guards everything below, shared with the encoder thread.
    std::mutex mutex_;
    std::condition_variable wake_;     // the encoder thread has work or must stop
    std::condition_variable finished_; // the encoder thread has drained the encoder
    std::deque<PendingFrame> pending_;
    std::vector<AVFramePtr> framePool_;
    std::int64_t dropsToReport_ = 0;
    bool finishRequested_ = false;
    bool encoderDrained_ = false;
    bool invalidated_ = false;
    std::thread encoderThread_;

    // Encoder thread only.
    AVPacketPtr packet_;
    std::map<std::int64_t, SubmittedFrame> submitted_; // by frame PTS in 1/90000 s
    std::int64_t nextFrameIndex_ = 0;
    std::int64_t lastTicks_ = 0;
};

} // namespace backreel
