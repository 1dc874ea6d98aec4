#pragma once

#include "core/media/MediaTime.h"
#include "platform/pixels/FramePixels.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <QRectF>
#include <QSizeF>
#include <vector>

// The pictures of a screen-cast stream and what a capture makes of them: plain values and pixel
// work, no PipeWire calls. Any thread.
namespace backreel::portal {

// The byte order of a 32-bit pixel in memory: BGRx/BGRA, or RGBx/RGBA.
enum class PixelOrder { bgra, rgba };

// One picture as the stream hands it over, valid only during the handler it is given to.
struct SourcePicture {
    const std::byte* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t bytesPerRow = 0;
    PixelOrder order = PixelOrder::bgra;
    pixels::PixelRect crop; // the part that shows the content (the compositor's video crop)
    MediaTime presentationTime;
};

// The video crop a buffer carries, limited to the picture; the whole picture when it carries none
// (or an empty or out-of-picture one).
pixels::PixelRect cropOf(std::optional<pixels::PixelRect> videoCrop, std::int32_t width, std::int32_t height);

// What a capture shows of a picture: the crop, or for a region (sourceRect, in the points of a
// display of displaySize points) that part of the crop, scaled by the crop's pixels per point and
// clipped to it. Empty when nothing of the region is in the picture.
pixels::PixelRect visibleArea(const pixels::PixelRect& crop, const std::optional<QRectF>& sourceRect,
                              const QSizeF& displaySize);

// Fills the destination (BGRA) with the area of the source scaled to fit, black bars around it.
// scratch holds the area's converted pixels for a source in RGBA order. False when the area is
// empty or the scaler refused.
bool renderPicture(const SourcePicture& source, const pixels::PixelRect& area,
                   const pixels::PixelView& destination, std::vector<std::byte>& scratch);

// A buffer's presentation time: the time in its header when that is on the monotonic clock (not
// after the arrival and less than a second before it), else the arrival time. Nanoseconds in,
// 90 kHz media time out.
MediaTime presentationTimeOf(std::optional<std::int64_t> headerNanoseconds, std::int64_t arrivalNanoseconds);

// The time a frame goes out with: its own, but at least one frame interval after the frame handed
// on before it (none: invalid), picture or tick. The desktop's times and our ticks come from two
// sources; kept apart like this, no two frames come closer than the configuration allows, and a
// picture never comes before a still picture shown again at the tick just before it.
MediaTime handOnTime(MediaTime wanted, MediaTime lastHandedOn, MediaTime interval);

} // namespace backreel::portal
