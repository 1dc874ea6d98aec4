#pragma once

#include <cstdint>

// Whole-pixel rectangles of captured pictures: plain values in, plain values out.
namespace backreel::pixels {

struct PixelRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    std::int32_t right() const { return x + width; }
    std::int32_t bottom() const { return y + height; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The common part of two rectangles; empty (all zero) when they do not overlap.
PixelRect intersected(const PixelRect& a, const PixelRect& b);
bool intersects(const PixelRect& a, const PixelRect& b);

// The largest rectangle with the source's aspect ratio that fits the destination, centred (the
// rest is letterbox). At least one pixel each way; empty when any size is not positive.
PixelRect aspectFitRect(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t destinationWidth,
                        std::int32_t destinationHeight);

} // namespace backreel::pixels
