#pragma once

#include "core/Error.h"
#include "core/media/VideoFrame.h"
#include "core/media/VideoPacket.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <QString>

namespace backreel {

// Why an encoder could not open, or lost a frame.
struct EncoderError {
    enum class Kind {
        unsupportedSize, // no encoder of this codec takes pictures of this size
        unavailable,     // no encoder of this codec is installed or none opened
        openFailed,      // the encoder refused its settings
        encodeFailed,    // one frame was lost; the encoder stays usable
    };
    Kind kind = Kind::openFailed;
    QString message;

    friend bool operator==(const EncoderError&, const EncoderError&) = default;
};

enum class VideoProfile { h264High, hevcMain };

// How a recording's video is compressed. Real time, never reordered (packets come out in
// presentation order), a key frame at least every maxKeyFrameInterval frames and every
// maxKeyFrameIntervalSeconds of presentation time, whichever comes first.
struct VideoEncoderSettings {
    std::int32_t width = 0;
    std::int32_t height = 0;
    VideoCodec codec = VideoCodec::h264;
    VideoProfile profile = VideoProfile::h264High;
    std::int64_t averageBitRate = 20'000'000;
    // Above 0, the software encoder aims at this quality (libx264's CRF: lower is better) and spends
    // averageBitRate at most; hardware encoders, and 0, hold averageBitRate.
    std::int32_t constantQuality = 0;
    std::int32_t maxKeyFrameInterval = 30;
    // The pictures a second the source is set to: what the rate control spreads the bits over.
    std::int32_t frameRate = 30;
    double maxKeyFrameIntervalSeconds = 0.5;
    // Only a hardware encoder may open (used to probe for one).
    bool requireHardware = false;
};

// Where an encoder's results go. Both run on the encoder's own thread, one call at a time, in the
// order the frames were given; neither may destroy the encoder.
struct EncoderOutput {
    std::function<void(const VideoPacket&)> packet;
    std::function<void(const EncoderError&)> error;
};

// An open encoder. Opening it is all the set-up there is: a VideoEncoder exists only once it can
// take frames.
class VideoEncoder {
public:
    virtual ~VideoEncoder() = default; // closes

    // Any thread (the video source's); does not wait for the encoder. A frame the encoder cannot
    // keep up with is dropped without a call of the output, and then it returns false. Does
    // nothing once finished or closed.
    virtual bool encode(const VideoFrame& frame) = 0;
    // Blocks until every frame given so far has come out through the output, then closes. Not on
    // the encoder's thread.
    virtual void finish() = 0;
    // Discards what is still queued. After it returns the output is never called again.
    virtual void close() = 0;
    virtual const VideoStreamFormat& format() const = 0;
};

class VideoEncoderService {
public:
    virtual ~VideoEncoderService() = default;

    // Opens an encoder for these settings (a hardware one where the settings allow and one opens,
    // else software). Main thread.
    virtual Expected<std::unique_ptr<VideoEncoder>, EncoderError> open(const VideoEncoderSettings& settings,
                                                                       EncoderOutput output) = 0;
};

} // namespace backreel
