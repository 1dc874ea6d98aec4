#pragma once

#include "platform/media/FourCC.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace backreel {

// The fields of an audio stream description.
struct AudioStreamBasicDescription {
    static constexpr std::uint32_t kFormatFlagIsFloat = 1;
    static constexpr std::uint32_t kFormatFlagIsNonInterleaved = 32;

    double sampleRate = 0;
    FourCC formatID = codec::linearPCM;
    std::uint32_t formatFlags = 0;
    std::uint32_t bytesPerPacket = 0;
    std::uint32_t framesPerPacket = 0;
    std::uint32_t bytesPerFrame = 0;
    std::uint32_t channelsPerFrame = 0;
    std::uint32_t bitsPerChannel = 0;

    bool isFloat() const { return (formatFlags & kFormatFlagIsFloat) != 0; }
    bool isNonInterleaved() const { return (formatFlags & kFormatFlagIsNonInterleaved) != 0; }

    friend bool operator==(const AudioStreamBasicDescription&, const AudioStreamBasicDescription&) = default;
};

struct VideoDimensions {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const VideoDimensions&, const VideoDimensions&) = default;
};

enum class MediaType { video, audio };

class FormatDescription;
using FormatDescriptionPtr = std::shared_ptr<const FormatDescription>;

// What the samples of a stream are: compressed video (codec, size and the codec's parameter sets,
// e.g. the avcC/hvcC record) or audio (the stream description).
class FormatDescription {
public:
    static FormatDescriptionPtr video(FourCC codecType, VideoDimensions dimensions,
                                      std::vector<std::byte> codecConfiguration = {});
    static FormatDescriptionPtr audio(const AudioStreamBasicDescription& description);

    MediaType mediaType() const { return mediaType_; }
    // The codec type for video, the stream's format id for audio.
    FourCC mediaSubType() const;
    VideoDimensions videoDimensions() const { return dimensions_; }
    const std::vector<std::byte>& codecConfiguration() const { return codecConfiguration_; }
    // The stream description of an audio format; none for video.
    const AudioStreamBasicDescription* streamBasicDescription() const {
        return mediaType_ == MediaType::audio ? &audio_ : nullptr;
    }

private:
    FormatDescription() = default;

    MediaType mediaType_ = MediaType::video;
    FourCC codecType_;
    VideoDimensions dimensions_;
    std::vector<std::byte> codecConfiguration_;
    AudioStreamBasicDescription audio_;
};

} // namespace backreel
