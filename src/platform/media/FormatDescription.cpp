#include "platform/media/FormatDescription.h"

namespace backreel {

FormatDescriptionPtr FormatDescription::video(FourCC codecType, VideoDimensions dimensions,
                                              std::vector<std::byte> codecConfiguration) {
    auto description = std::shared_ptr<FormatDescription>(new FormatDescription());
    description->mediaType_ = MediaType::video;
    description->codecType_ = codecType;
    description->dimensions_ = dimensions;
    description->codecConfiguration_ = std::move(codecConfiguration);
    return description;
}

FormatDescriptionPtr FormatDescription::audio(const AudioStreamBasicDescription& streamDescription) {
    auto description = std::shared_ptr<FormatDescription>(new FormatDescription());
    description->mediaType_ = MediaType::audio;
    description->audio_ = streamDescription;
    return description;
}

FourCC FormatDescription::mediaSubType() const {
    return mediaType_ == MediaType::audio ? audio_.formatID : codecType_;
}

} // namespace backreel
