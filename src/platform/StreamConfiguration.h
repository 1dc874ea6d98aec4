#pragma once

#include "platform/media/FourCC.h"
#include "platform/media/MediaTime.h"

#include <QRectF>

#include <cstdint>
#include <optional>

namespace backreel {

struct StreamConfiguration {
    std::int32_t width = 0;  // output pixels
    std::int32_t height = 0; // output pixels
    MediaTime minimumFrameInterval = MediaTime(1, 60);
    FourCC pixelFormat = codec::bgra;
    bool capturesAudio = false;
    bool excludesCurrentProcessAudio = false;
    std::int32_t sampleRate = 48000;
    std::int32_t channelCount = 2;
    std::optional<QRectF> sourceRect; // in the display's top-left points
    bool scalesToFit = false;

    friend bool operator==(const StreamConfiguration&, const StreamConfiguration&) = default;
};

} // namespace backreel
