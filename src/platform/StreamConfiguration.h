#pragma once

#include "core/media/FourCC.h"
#include "core/media/MediaTime.h"

#include <cstdint>
#include <optional>
#include <QRectF>

namespace backreel {

struct StreamConfiguration {
    std::int32_t width = 0;  // output pixels
    std::int32_t height = 0; // output pixels
    MediaTime minimumFrameInterval = MediaTime(1, 60);
    FourCC pixelFormat = codec::bgra;
    bool capturesAudio = false;
    // A wish, not a guarantee: the monitor of a sink carries every client's sound, so no backend
    // can leave ours out. Backreel plays no sound of its own, so nothing of ours is recorded.
    bool excludesCurrentProcessAudio = false;
    std::int32_t sampleRate = 48000;
    std::int32_t channelCount = 2;
    std::optional<QRectF> sourceRect; // in the display's top-left points
    bool scalesToFit = false;

    friend bool operator==(const StreamConfiguration&, const StreamConfiguration&) = default;
};

} // namespace backreel
