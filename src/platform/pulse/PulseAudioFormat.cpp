#include "platform/pulse/PulseAudioFormat.h"

#include <algorithm>

namespace backreel {

namespace {
constexpr std::uint32_t kBytesPerChannel = sizeof(float);
} // namespace

MaybeError checkAudioFormat(const AudioFormat& format) {
    if (format.channelCount < 1 || format.channelCount > kMaximumSystemAudioChannels) {
        return Error(QStringLiteral("Cannot record system audio with %1 channels; between 1 and %2 "
                                              "channels are supported.")
                                   .arg(format.channelCount)
                                   .arg(kMaximumSystemAudioChannels));
    }
    if (format.sampleRate < 1 || format.sampleRate > kMaximumSystemAudioRate) {
        return Error(QStringLiteral("Cannot record system audio at %1 Hz; rates up to %2 Hz are "
                                                 "supported.")
                                      .arg(format.sampleRate)
                                      .arg(kMaximumSystemAudioRate));
    }
    return std::nullopt;
}

std::uint32_t bytesPerFrame(const AudioFormat& format) {
    return kBytesPerChannel * static_cast<std::uint32_t>(format.channelCount);
}

std::uint32_t byteCountForDuration(const AudioFormat& format, std::chrono::microseconds duration) {
    const std::int64_t micros = std::max<std::int64_t>(duration.count(), 0);
    const std::int64_t frames = (micros * format.sampleRate + 500'000) / 1'000'000;
    return static_cast<std::uint32_t>(std::max<std::int64_t>(frames, 1)) * bytesPerFrame(format);
}

std::string monitorSourceName(std::string_view sinkName) {
    std::string name(sinkName);
    name += ".monitor";
    return name;
}

} // namespace backreel
