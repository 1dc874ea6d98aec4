#include "platform/pulse/BorrowedAudioSample.h"

namespace backreel {

MediaSamplePtr makeBorrowedAudioSample(const FormatDescriptionPtr& format, std::span<const std::byte> bytes,
                                       MediaTime presentationTime) {
    const AudioStreamBasicDescription* description = format ? format->streamBasicDescription() : nullptr;
    if (description == nullptr || description->bytesPerFrame == 0) {
        return nullptr;
    }
    const auto rate = static_cast<std::int32_t>(description->sampleRate);
    const std::size_t frames = bytes.size() / description->bytesPerFrame;
    bytes = bytes.first(frames * description->bytesPerFrame); // a partial frame is no audio

    MediaSample::Parts parts;
    parts.formatDescription = format;
    parts.numSamples = static_cast<std::int64_t>(frames);
    parts.timing = {SampleTimingInfo{MediaTime(1, rate), presentationTime, MediaTime::invalid()}};
    parts.sizes = {description->bytesPerFrame};
    parts.audioBufferList =
        AudioBufferList{AudioBuffer{description->channelsPerFrame, bytes.data(), bytes.size()}};
    // An owner that owns nothing: a shared_ptr aliasing an empty one keeps the pointer without a
    // control block, so wrapping the lender's memory allocates no owner and frees nothing.
    std::shared_ptr<const void> noOwner(std::shared_ptr<const void>(), bytes.data());
    parts.listBlock =
        BlockBuffer::fromSegments({BlockBuffer::Segment{std::move(noOwner), bytes.data(), bytes.size()}});
    return MediaSample::make(std::move(parts));
}

} // namespace backreel
