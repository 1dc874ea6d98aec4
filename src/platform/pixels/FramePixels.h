#pragma once

#include "platform/pixels/PixelGeometry.h"

#include <cstddef>
#include <cstdint>

// Pixel work on 32-bit BGRA pictures in plain memory (the byte order of X's 24- and 32-bit ZPixmap
// images and of PipeWire's BGRx on little-endian machines): black fills, copies, aspect-fit scaling and the
// cursor blend. Any thread.
namespace backreel::pixels {

struct PixelView {
    std::byte* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t bytesPerRow = 0;

    std::byte* pixel(std::int32_t x, std::int32_t y) const {
        return data + static_cast<std::size_t>(y) * bytesPerRow + static_cast<std::size_t>(x) * 4;
    }
};

// Paints the rectangle (clipped to the picture) opaque black.
void fillBlack(const PixelView& picture, const PixelRect& rect);

// Paints everything of the picture outside `keep` opaque black.
void fillBlackOutside(const PixelView& picture, const PixelRect& keep);

// Copies the whole source into the destination with its top-left at (x, y), clipped.
void copyPixels(const PixelView& source, const PixelView& destination, std::int32_t x, std::int32_t y);

// Fills the destination with the source scaled (bilinear) into its aspect-fit rectangle, black
// bars around it; a plain copy when the sizes match. False when the scaler refused.
bool scaleToFit(const PixelView& source, const PixelView& destination);

// Blends a premultiplied ARGB image (a cursor: one 32-bit word per pixel, alpha in the top byte)
// over the picture with its top-left at (x, y); the parts outside the picture are left out.
void blendPremultiplied(const PixelView& picture, const std::uint32_t* image, std::int32_t imageWidth,
                        std::int32_t imageHeight, std::int32_t x, std::int32_t y);

} // namespace backreel::pixels
