#pragma once

#include "platform/media/MediaSample.h"

#include <optional>

namespace backreel::test {

// A compressed-looking video sample at the given PTS (seconds at the 90 kHz scale).
inline MediaSamplePtr videoSample(double seconds, std::optional<SampleAttachments> attachments = std::nullopt) {
    MediaSample::Parts parts;
    parts.formatDescription = FormatDescription::video(codec::h264, {64, 64});
    parts.dataBuffer = BlockBuffer::fromBytes(std::vector<std::byte>(8));
    parts.timing = {SampleTimingInfo{MediaTime(3000, kTimeScale), MediaTime::makeWithSeconds(seconds, kTimeScale),
                                     MediaTime::invalid()}};
    parts.attachments = std::move(attachments);
    return MediaSample::make(std::move(parts));
}

inline MediaSamplePtr keyFrame(double seconds) {
    return videoSample(seconds, notSyncAttachments(false));
}

inline MediaSamplePtr deltaFrame(double seconds) {
    return videoSample(seconds, notSyncAttachments(true));
}

inline MediaSamplePtr sampleAt(MediaTime pts) {
    MediaSample::Parts parts;
    parts.timing = {SampleTimingInfo{MediaTime::invalid(), pts, MediaTime::invalid()}};
    return MediaSample::make(std::move(parts));
}

} // namespace backreel::test
