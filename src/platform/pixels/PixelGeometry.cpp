#include "platform/pixels/PixelGeometry.h"

#include <algorithm>

namespace backreel::pixels {

PixelRect intersected(const PixelRect& a, const PixelRect& b) {
    const std::int32_t left = std::max(a.x, b.x);
    const std::int32_t top = std::max(a.y, b.y);
    const std::int32_t right = std::min(a.right(), b.right());
    const std::int32_t bottom = std::min(a.bottom(), b.bottom());
    if (right <= left || bottom <= top) {
        return {};
    }
    return {left, top, right - left, bottom - top};
}

bool intersects(const PixelRect& a, const PixelRect& b) {
    return !intersected(a, b).isEmpty();
}

PixelRect aspectFitRect(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t destinationWidth,
                        std::int32_t destinationHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 || destinationHeight <= 0) {
        return {};
    }
    // Compare the aspect ratios exactly in 64-bit integers: the wider one decides the fitting side.
    const auto sw = static_cast<std::int64_t>(sourceWidth);
    const auto sh = static_cast<std::int64_t>(sourceHeight);
    const auto dw = static_cast<std::int64_t>(destinationWidth);
    const auto dh = static_cast<std::int64_t>(destinationHeight);
    std::int64_t width = dw;
    std::int64_t height = dh;
    if (sw * dh > dw * sh) {
        height = std::max<std::int64_t>(1, (dw * sh + sw / 2) / sw); // source is wider: bars above and below
    } else if (sw * dh < dw * sh) {
        width = std::max<std::int64_t>(1, (dh * sw + sh / 2) / sh); // source is taller: bars left and right
    }
    return {static_cast<std::int32_t>((dw - width) / 2), static_cast<std::int32_t>((dh - height) / 2),
            static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

} // namespace backreel::pixels
