#include "platform/x11/X11ScreenPictureService.h"

#include "core/log/Log.h"
#include "platform/x11/X11Connection.h"

#include <algorithm>
#include <cstring>
#include <QPainter>
#include <string>

namespace backreel {

namespace {
// The number of the connection's screen among the server's screens, as the compositing manager's
// selection name counts it.
int screenNumberOf(const x11::X11Connection& connection) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int number = 0; screens.rem > 0; ++number, xcb_screen_next(&screens)) {
        if (screens.data != nullptr && screens.data->root == connection.root()) {
            return number;
        }
    }
    return 0;
}
} // namespace

X11ScreenPictureService::X11ScreenPictureService() = default;
X11ScreenPictureService::~X11ScreenPictureService() = default;

bool X11ScreenPictureService::hasCompositingManager() {
    x11::X11Connection* c = connection_.get();
    if (c == nullptr) {
        return true; // nothing could be read beneath the overlay anyway
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumberOf(*c));
    const auto atom =
        x11::takeReply(xcb_intern_atom_reply, c->get(),
                       xcb_intern_atom(c->get(), 1, static_cast<std::uint16_t>(name.size()), name.c_str()));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false; // nobody ever asked for the selection, so nobody owns it
    }
    const auto owner = x11::takeReply(xcb_get_selection_owner_reply, c->get(),
                                      xcb_get_selection_owner(c->get(), atom->atom));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

QImage X11ScreenPictureService::picture(const QRect& area) {
    x11::X11Connection* c = connection_.get();
    if (c == nullptr || area.isEmpty()) {
        return {};
    }
    // GetImage fails for anything outside the root window: read the part inside it, black around.
    const QRect root(0, 0, c->rootWidth(), c->rootHeight());
    const QRect inside = area.intersected(root);
    if (inside.isEmpty()) {
        return {};
    }
    const auto reply = x11::takeReply(
        xcb_get_image_reply, c->get(),
        xcb_get_image(c->get(), XCB_IMAGE_FORMAT_Z_PIXMAP, c->root(), static_cast<std::int16_t>(inside.x()),
                      static_cast<std::int16_t>(inside.y()), static_cast<std::uint16_t>(inside.width()),
                      static_cast<std::uint16_t>(inside.height()), ~0u));
    // The 24- and 32-bit TrueColor roots of today's servers hold 32-bit 0xRRGGBB pixels.
    if (!reply || (reply->depth != 24 && reply->depth != 32)) {
        return {};
    }
    const auto bytesPerLine = static_cast<qsizetype>(inside.width()) * 4;
    const auto length = static_cast<qsizetype>(std::max(xcb_get_image_data_length(reply.get()), 0));
    if (length < bytesPerLine * inside.height()) {
        return {};
    }
    QImage read(inside.size(), QImage::Format_RGB32);
    const std::uint8_t* data = xcb_get_image_data(reply.get());
    for (int line = 0; line < inside.height(); ++line) {
        std::memcpy(read.scanLine(line), data + line * bytesPerLine, static_cast<std::size_t>(bytesPerLine));
    }
    if (inside == area) {
        return read;
    }
    QImage whole(area.size(), QImage::Format_RGB32);
    whole.fill(Qt::black);
    QPainter painter(&whole);
    painter.drawImage(inside.topLeft() - area.topLeft(), read);
    return whole;
}

} // namespace backreel
