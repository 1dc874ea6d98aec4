#include "platform/pixels/FramePixels.h"

#include <algorithm>
#include <cstring>
#include <libyuv/scale_argb.h>

namespace backreel::pixels {

namespace {
constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

PixelRect boundsOf(const PixelView& picture) {
    return {0, 0, picture.width, picture.height};
}

void fillRows(const PixelView& picture, const PixelRect& rect) {
    const PixelRect area = intersected(rect, boundsOf(picture));
    for (std::int32_t row = area.y; row < area.bottom(); ++row) {
        std::byte* line = picture.pixel(area.x, row);
        for (std::int32_t column = 0; column < area.width; ++column) {
            std::memcpy(line + static_cast<std::size_t>(column) * 4, &kOpaqueBlack, 4);
        }
    }
}
} // namespace

void fillBlack(const PixelView& picture, const PixelRect& rect) {
    fillRows(picture, rect);
}

void fillBlackOutside(const PixelView& picture, const PixelRect& keep) {
    const PixelRect inside = intersected(keep, boundsOf(picture));
    if (inside.isEmpty()) {
        fillRows(picture, boundsOf(picture));
        return;
    }
    fillRows(picture, {0, 0, picture.width, inside.y});                                           // above
    fillRows(picture, {0, inside.bottom(), picture.width, picture.height - inside.bottom()});     // below
    fillRows(picture, {0, inside.y, inside.x, inside.height});                                    // left
    fillRows(picture, {inside.right(), inside.y, picture.width - inside.right(), inside.height}); // right
}

void copyPixels(const PixelView& source, const PixelView& destination, std::int32_t x, std::int32_t y) {
    const PixelRect area = intersected({x, y, source.width, source.height}, boundsOf(destination));
    if (area.isEmpty()) {
        return;
    }
    const auto rowBytes = static_cast<std::size_t>(area.width) * 4;
    for (std::int32_t row = area.y; row < area.bottom(); ++row) {
        std::memcpy(destination.pixel(area.x, row), source.pixel(area.x - x, row - y), rowBytes);
    }
}

bool scaleToFit(const PixelView& source, const PixelView& destination) {
    if (source.width == destination.width && source.height == destination.height) {
        copyPixels(source, destination, 0, 0);
        return true;
    }
    const PixelRect fit = aspectFitRect(source.width, source.height, destination.width, destination.height);
    if (fit.isEmpty()) {
        fillBlack(destination, boundsOf(destination));
        return false;
    }
    fillBlackOutside(destination, fit);
    const int result = libyuv::ARGBScale(
        reinterpret_cast<const std::uint8_t*>(source.data), static_cast<int>(source.bytesPerRow),
        source.width, source.height, reinterpret_cast<std::uint8_t*>(destination.pixel(fit.x, fit.y)),
        static_cast<int>(destination.bytesPerRow), fit.width, fit.height, libyuv::kFilterBilinear);
    return result == 0;
}

void blendPremultiplied(const PixelView& picture, const std::uint32_t* image, std::int32_t imageWidth,
                        std::int32_t imageHeight, std::int32_t x, std::int32_t y) {
    const PixelRect area = intersected({x, y, imageWidth, imageHeight}, boundsOf(picture));
    for (std::int32_t row = area.y; row < area.bottom(); ++row) {
        const std::uint32_t* from = image +
                                    static_cast<std::size_t>(row - y) * static_cast<std::size_t>(imageWidth) +
                                    static_cast<std::size_t>(area.x - x);
        std::byte* to = picture.pixel(area.x, row);
        for (std::int32_t column = 0; column < area.width; ++column, ++from, to += 4) {
            const std::uint32_t source = *from;
            const std::uint32_t alpha = source >> 24;
            if (alpha == 0) {
                continue;
            }
            std::uint32_t destination = 0;
            std::memcpy(&destination, to, 4);
            if (alpha == 255) {
                destination = source;
            } else {
                const std::uint32_t inverse = 255 - alpha;
                std::uint32_t blended = 0;
                for (unsigned shift = 0; shift < 32; shift += 8) {
                    const std::uint32_t s = (source >> shift) & 0xFFu;
                    const std::uint32_t d = (destination >> shift) & 0xFFu;
                    // s + d * (255 - a) / 255, rounded; premultiplied s never exceeds a.
                    const std::uint32_t value = s + (d * inverse + 127) / 255;
                    blended |= std::min<std::uint32_t>(value, 255) << shift;
                }
                destination = blended;
            }
            std::memcpy(to, &destination, 4);
        }
    }
}

} // namespace backreel::pixels
