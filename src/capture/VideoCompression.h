#pragma once

#include "capture/CodecChoice.h"
#include "capture/MediaStores.h"
#include "core/Error.h"
#include "core/log/Log.h"
#include "platform/VideoEncoder.h"

#include <cstdint>
#include <memory>
#include <QCoroTask>

namespace backreel {

// Media time between two key frames at most: a clip starts on a key frame at most this long
// before its requested start.
inline constexpr double kKeyFrameIntervalSeconds = 0.5;

// The constant quality of software encoding (libx264's CRF, the rate below as its ceiling), or 0
// for the fixed rate. Chosen with the encode benchmark: at 26 a scrolling page takes under half the
// fixed rate's bytes and looks at least as sharp, and fast-moving video, which needs the whole
// rate, looks better in the same bytes.
inline constexpr std::int32_t kRecordingQuality = 26;

// HEVC when automatic and a hardware HEVC encoder opens at this size, H.264 otherwise. Main thread.
VideoCodec chooseCodec(VideoEncoderService& service, std::int32_t width, std::int32_t height,
                       CodecChoice choice = CodecChoice::automatic);

// A recording's settings for the codec: real time, no reordering, a key frame at least every 30
// frames and every 0.5 s; HEVC Main at 10 Mbit/s or H.264 High at 20 Mbit/s at 30 frames a
// second, half as much again at 60; in software, with kRecordingQuality set, that rate is the
// ceiling of a constant quality instead.
VideoEncoderSettings recordingEncoderSettings(VideoCodec codec, std::int32_t width, std::int32_t height,
                                              int frameRate = 30);

// The output that puts each packet into the video store (logging the first and every 90th) and
// logs each lost frame. Encoder thread.
EncoderOutput ringBufferOutput(std::shared_ptr<MediaStores> stores, Logger logger);

// Opens the recording's encoder, whose packets go into the video store. Main thread. Fails with the
// "Backreel" error "Failed to create compression session (REASON)." where REASON is the
// encoder's own message.
Expected<std::shared_ptr<VideoEncoder>> openRecordingEncoder(VideoEncoderService& service, std::int32_t width,
                                                             std::int32_t height,
                                                             std::shared_ptr<MediaStores> stores,
                                                             const Logger& logger,
                                                             CodecChoice choice = CodecChoice::automatic,
                                                             int frameRate = 30);

// Emits every pending frame and closes the encoder, off the main thread; the caller suspends
// until both are done.
QCoro::Task<> finishEncoder(std::shared_ptr<VideoEncoder> encoder);

} // namespace backreel
