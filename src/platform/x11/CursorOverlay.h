#pragma once

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>
#include <xcb/xfixes.h>

namespace backreel::x11 {

// Draws the pointer into captured pictures: XFixes hands out the cursor image (premultiplied
// ARGB) with the pointer's position, which the overlay blends where it lies over the picture.
// Used on the grab thread only.
class CursorOverlay {
public:
    explicit CursorOverlay(const X11Connection& connection)
        : connection_(connection) {}

    // Asks for the cursor; sent before the picture's own request so both answers come in one round
    // trip. Does nothing without XFixes.
    void request();
    // Collects the answer of request(); keeps no cursor when it failed.
    void collect();
    // Blends the cursor collected last over a picture whose top-left is at (originX, originY) in
    // root coordinates.
    void drawOnto(const PixelView& picture, std::int32_t originX, std::int32_t originY) const;

private:
    const X11Connection& connection_;
    std::optional<xcb_xfixes_get_cursor_image_cookie_t> pending_;
    std::vector<std::uint32_t> image_;
    std::int32_t left_ = 0; // root coordinates of the image's top-left
    std::int32_t top_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

} // namespace backreel::x11
