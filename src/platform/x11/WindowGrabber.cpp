#include "platform/x11/WindowGrabber.h"

#include <xcb/composite.h>

namespace backreel::x11 {

Expected<std::unique_ptr<WindowGrabber>> WindowGrabber::create(std::shared_ptr<X11Connection> connection,
                                                               xcb_window_t window, std::int32_t outputWidth,
                                                               std::int32_t outputHeight) {
    if (!connection->extensions().composite) {
        return Error(QStringLiteral("The X server has no Composite extension, so single windows can't be captured."));
    }
    xcb_connection_t* c = connection.get()->get();
    // Structure events tell us about resizes, maps and the window's end.
    const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    XcbError error(
        xcb_request_check(c, xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &events)));
    if (!error) {
        error.reset(xcb_request_check(
            c, xcb_composite_redirect_window_checked(c, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
    }
    if (error || connection->hasFailed()) {
        return connection->requestError(QStringLiteral("Capturing the window"), error.get());
    }
    std::unique_ptr<WindowGrabber> grabber(
        new WindowGrabber(std::move(connection), window, outputWidth, outputHeight));
    if (MaybeError failure = grabber->nameWindowPixmap()) {
        // The server has no picture of a window that is not mapped (minimised, or on another
        // desktop under some window managers) and answers BadMatch.
        if (grabber->pixmapErrorCode_ == XCB_MATCH) {
            return Error(QStringLiteral("The window to record is not on screen. Show it, then start again."));
        }
        return *failure;
    }
    return grabber;
}

WindowGrabber::WindowGrabber(std::shared_ptr<X11Connection> connection, xcb_window_t window,
                             std::int32_t outputWidth, std::int32_t outputHeight)
    : connection_(std::move(connection))
    , window_(window)
    , outputWidth_(outputWidth)
    , outputHeight_(outputHeight)
    , cursor_(*connection_)
    , watch_(*connection_, window)
    , pool_(ShmFramePool::create(
          connection_, static_cast<std::size_t>(outputWidth) * static_cast<std::size_t>(outputHeight) * 4,
          kFramesInPool)) {}

MaybeError WindowGrabber::nameWindowPixmap() {
    xcb_connection_t* c = connection_->get();
    const std::uint32_t pixmap = xcb_generate_id(c);
    const auto geometryCookie = xcb_get_geometry(c, window_);
    XcbError error(xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, window_, pixmap)));
    XcbError geometryError;
    auto geometry = takeReply(xcb_get_geometry_reply, c, geometryCookie, &geometryError);
    pixmapErrorCode_ = error ? error->error_code : 0;
    if (error) {
        // An unmapped window has no pixmap (BadMatch); the one named before stays in use until
        // the window is mapped again.
        pixmapStale_ = false;
        return connection_->requestError(QStringLiteral("Capturing the window"), error.get());
    }
    pixmap_ = XcbResource(c, pixmap, xcb_free_pixmap);
    if (!geometry) {
        return connection_->requestError(QStringLiteral("Capturing the window"), geometryError.get());
    }
    width_ = geometry->width;
    height_ = geometry->height;
    border_ = geometry->border_width;
    pixmapStale_ = false;
    return std::nullopt;
}

bool WindowGrabber::handleEvents() {
    while (XcbEvent event{xcb_poll_for_event(connection_->get())}) {
        if (watch_.handleEvent(*event)) {
            continue;
        }
        switch (event->response_type & 0x7F) {
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get())->window == window_) {
                destroyed_ = true;
            }
            break;
        case XCB_CONFIGURE_NOTIFY: {
            const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
            if (configure->window == window_ && (configure->width != width_ || configure->height != height_ ||
                                                 configure->border_width != border_)) {
                pixmapStale_ = true;
            }
            break;
        }
        case XCB_MAP_NOTIFY:
            if (reinterpret_cast<const xcb_map_notify_event_t*>(event.get())->window == window_) {
                pixmapStale_ = true;
            }
            break;
        default:
            break; // asynchronous errors and other events
        }
    }
    return destroyed_;
}

bool WindowGrabber::hasChanged() {
    watch_.lookAtPointer();
    // A window that is gone or has a new pixmap is "changed": grab() tells or takes it.
    const bool changed = handleEvents() || pixmapStale_;
    return watch_.hasChanged({0, 0, width_, height_}) || changed;
}

Expected<ImageBufferPtr, CaptureError> WindowGrabber::grab() {
    if (handleEvents()) {
        return CaptureError::ended(QStringLiteral("The captured window was closed."));
    }
    if (pixmapStale_) {
        nameWindowPixmap(); // on failure the last pixmap stays in use
    }
    std::shared_ptr<ShmFramePool::Buffer> frame = pool_->acquire();
    if (!frame || !pixmap_ || width_ <= 0 || height_ <= 0) {
        return ImageBufferPtr();
    }
    const std::size_t grabBytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    const bool direct = width_ == outputWidth_ && height_ == outputHeight_;
    if (!direct && (!scratch_ || scratch_->size() < grabBytes)) {
        scratch_ = ShmFramePool::makeBuffer(connection_, grabBytes);
    }
    const ShmFramePool::Buffer& target = direct ? *frame : *scratch_;

    xcb_connection_t* c = connection_->get();
    const auto originCookie = xcb_translate_coordinates(c, window_, connection_->root(), 0, 0);
    cursor_.request();
    const MaybeError failure =
        readImage(*connection_, pixmap_.id(), {border_, border_, width_, height_}, target);
    cursor_.collect();
    auto origin = takeReply(xcb_translate_coordinates_reply, c, originCookie);
    if (failure) {
        return CaptureError::failed(failure->description);
    }
    const PixelView grabbed{target.data(), width_, height_, static_cast<std::size_t>(width_) * 4};
    if (origin) {
        cursor_.drawOnto(grabbed, origin->dst_x, origin->dst_y);
    }
    const auto stride = static_cast<std::size_t>(outputWidth_) * 4;
    if (!direct) {
        scaleToFit(grabbed, PixelView{frame->data(), outputWidth_, outputHeight_, stride});
    }
    watch_.pictureTaken();
    return ImageBuffer::wrap(frame, frame->data(), outputWidth_, outputHeight_, stride);
}

} // namespace backreel::x11
