#include "platform/x11/ScreenGrabber.h"

#include "platform/x11/X11ShareableContent.h"

namespace backreel::x11 {

namespace {
// Ticks between two looks at the screen's layout: about a second at 30 frames per second.
constexpr int kLayoutCheckInterval = 30;

std::size_t bytesFor(std::int32_t width, std::int32_t height) {
    return static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)) * 4;
}
} // namespace

ScreenGrabber::ScreenGrabber(std::shared_ptr<X11Connection> connection, const Display& display,
                             const VideoSourceSettings& settings, std::int32_t outputWidth,
                             std::int32_t outputHeight, std::optional<OwnWindowExclusion> exclusion)
    : connection_(std::move(connection))
    , displayID_(display.displayID)
    , settings_(settings)
    , wanted_(displayGrabRect(display.frame, settings.sourceRect, settings.scalesToFit, outputWidth,
                              outputHeight))
    , screen_{0, 0, connection_->rootWidth(), connection_->rootHeight()}
    , outputWidth_(outputWidth)
    , outputHeight_(outputHeight)
    , exclusion_(std::move(exclusion))
    , cursor_(*connection_)
    , watch_(*connection_, connection_->root())
    , pool_(ShmFramePool::create(connection_, bytesFor(outputWidth, outputHeight), kFramesInPool)) {}

bool ScreenGrabber::refreshLayout() {
    framesSinceLayoutCheck_ = 0;
    xcb_connection_t* c = connection_->get();
    const PixelRect before = wanted_;
    const PixelRect screenBefore = screen_;
    if (auto geometry = takeReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, connection_->root()))) {
        screen_ = {0, 0, geometry->width, geometry->height};
    }
    for (const Display& display : queryDisplays(*connection_).displays) {
        if (display.displayID == displayID_) {
            wanted_ = displayGrabRect(display.frame, settings_.sourceRect, settings_.scalesToFit,
                                      outputWidth_, outputHeight_);
        }
    }
    return !(wanted_ == before) || !(screen_ == screenBefore);
}

void ScreenGrabber::pollEvents() {
    while (XcbEvent event{xcb_poll_for_event(connection_->get())}) {
        watch_.handleEvent(*event);
    }
}

bool ScreenGrabber::hasChanged() {
    // A new layout draws nothing when only the monitors moved: it is looked for at every tick.
    if (++framesSinceLayoutCheck_ >= kLayoutCheckInterval && refreshLayout()) {
        watch_.invalidate();
    }
    watch_.lookAtPointer();
    pollEvents();
    return watch_.hasChanged(clipGrab(wanted_, screen_).source);
}

Expected<ImageBufferPtr, CaptureError> ScreenGrabber::grab() {
    pollEvents();
    std::shared_ptr<ShmFramePool::Buffer> frame = pool_->acquire();
    if (!frame) {
        return ImageBufferPtr();
    }
    const auto stride = static_cast<std::size_t>(outputWidth_) * 4;
    const PixelView output{frame->data(), outputWidth_, outputHeight_, stride};
    const ClippedGrab clip = clipGrab(wanted_, screen_);
    if (clip.source.isEmpty()) {
        fillBlack(output, {0, 0, outputWidth_, outputHeight_});
        watch_.pictureTaken();
        return ImageBuffer::wrap(frame, frame->data(), outputWidth_, outputHeight_, stride);
    }

    const OwnWindowExclusion::Source source =
        exclusion_ ? exclusion_->prepare(clip.source)
                   : OwnWindowExclusion::Source{connection_->root(), clip.source.x, clip.source.y, false};
    const bool unscaled = wanted_.width == outputWidth_ && wanted_.height == outputHeight_;
    const bool direct = unscaled && clip.source == wanted_;
    const std::size_t grabBytes = bytesFor(clip.source.width, clip.source.height);
    if (!direct && (!scratch_ || scratch_->size() < grabBytes)) {
        scratch_ = ShmFramePool::makeBuffer(connection_, grabBytes);
    }
    const ShmFramePool::Buffer& target = direct ? *frame : *scratch_;

    cursor_.request();
    const MaybeError failure = readImage(*connection_, source.drawable,
                                         {source.x, source.y, clip.source.width, clip.source.height}, target);
    cursor_.collect();
    if (failure) {
        // A screen that shrank since the last look makes the read fail; the next frame reads the
        // new layout. Any other failure ends the stream.
        if (!connection_->hasFailed() && refreshLayout()) {
            watch_.invalidate();
            return ImageBufferPtr();
        }
        return CaptureError::failed(failure->description);
    }
    const PixelView grabbed{target.data(), clip.source.width, clip.source.height,
                            static_cast<std::size_t>(clip.source.width) * 4};
    cursor_.drawOnto(grabbed, clip.source.x, clip.source.y);

    if (!direct) {
        if (unscaled) {
            fillBlackOutside(output, {clip.offsetX, clip.offsetY, clip.source.width, clip.source.height});
            copyPixels(grabbed, output, clip.offsetX, clip.offsetY);
        } else {
            PixelView whole = grabbed;
            if (!(clip.source == wanted_)) {
                whole_.resize(bytesFor(wanted_.width, wanted_.height));
                whole = PixelView{whole_.data(), wanted_.width, wanted_.height,
                                  static_cast<std::size_t>(wanted_.width) * 4};
                fillBlackOutside(whole, {clip.offsetX, clip.offsetY, clip.source.width, clip.source.height});
                copyPixels(grabbed, whole, clip.offsetX, clip.offsetY);
            }
            scaleToFit(whole, output);
        }
    }
    watch_.pictureTaken();
    return ImageBuffer::wrap(frame, frame->data(), outputWidth_, outputHeight_, stride);
}

} // namespace backreel::x11
