#include "platform/x11/CursorOverlay.h"

namespace backreel::x11 {

void CursorOverlay::request() {
    if (connection_.extensions().xfixes) {
        pending_ = xcb_xfixes_get_cursor_image(connection_.get());
    }
}

void CursorOverlay::collect() {
    if (!pending_) {
        return;
    }
    auto reply = takeReply(xcb_xfixes_get_cursor_image_reply, connection_.get(), *pending_);
    pending_.reset();
    width_ = 0;
    height_ = 0;
    if (!reply) {
        return;
    }
    const std::size_t count = static_cast<std::size_t>(reply->width) * reply->height;
    if (count == 0 ||
        static_cast<std::size_t>(xcb_xfixes_get_cursor_image_cursor_image_length(reply.get())) < count) {
        return;
    }
    const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    image_.assign(pixels, pixels + count);
    // The reply's position is the hot spot's; the image starts up and left of it.
    left_ = reply->x - reply->xhot;
    top_ = reply->y - reply->yhot;
    width_ = reply->width;
    height_ = reply->height;
}

void CursorOverlay::drawOnto(const PixelView& picture, std::int32_t originX, std::int32_t originY) const {
    if (width_ <= 0 || height_ <= 0) {
        return;
    }
    blendPremultiplied(picture, image_.data(), width_, height_, left_ - originX, top_ - originY);
}

} // namespace backreel::x11
