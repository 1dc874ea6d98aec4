#pragma once

#include "capture/RingBuffer.h"
#include "platform/CaptureStream.h"
#include "platform/CompressionSession.h"
#include "platform/log/Log.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace backreel {

// Copies an audio sample into a new sample that owns its bytes (one contiguous block), with the
// same format, count, timing and sizes. None when the sample has no format or no bytes, or a copy
// step fails (each logged). Any thread.
MediaSamplePtr deepCopyAudioSample(const MediaSample& sample, const Logger& log);

// The stream's output for one recording: screen frames go to the compression session, audio
// buffers are copied into the audio store.
//
// Thread contract: screen samples arrive on the capture queue, audio samples on the audio queue;
// videoFramesIn is touched only on the first, audioSamplesIn only on the second until the manager
// reads it after draining that queue.
class CaptureDelegate final : public StreamOutput {
public:
    CaptureDelegate(std::shared_ptr<CompressionSession> compressionSession,
                    std::shared_ptr<AudioRingBuffer> audioRingBuffer, Logger logger);

    void didOutputSampleBuffer(CaptureStream& stream, const MediaSamplePtr& sample, StreamOutputType type) override;

    std::int64_t videoFramesIn() const { return videoFramesIn_.load(std::memory_order_relaxed); }
    std::int64_t audioSamplesIn() const { return audioSamplesIn_.load(std::memory_order_relaxed); }

private:
    void handleScreen(const MediaSample& sample);
    void handleAudio(const MediaSample& sample);

    const std::shared_ptr<CompressionSession> compressionSession_;
    const std::shared_ptr<AudioRingBuffer> audioRingBuffer_;
    const Logger logger_;
    std::atomic<std::int64_t> videoFramesIn_{0};
    std::atomic<std::int64_t> audioSamplesIn_{0};
};

} // namespace backreel
