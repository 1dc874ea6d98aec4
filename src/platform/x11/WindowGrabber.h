#pragma once

#include "platform/x11/ChangeWatch.h"
#include "platform/x11/CursorOverlay.h"
#include "platform/x11/FrameGrabber.h"
#include "platform/x11/ShmFramePool.h"
#include "platform/x11/XcbPtr.h"

#include <memory>
#include <xcb/xcb.h>

namespace backreel::x11 {

// Grabs one window independent of what covers it: the window is redirected with Composite
// (automatic, so the screen looks as before) and read from its named pixmap, which is named again
// after the window was resized or mapped again (the server gives it a new pixmap then). The
// picture is scaled to fit the output size, letterboxed. The window's destruction (DestroyNotify
// on our connection) ends the capture. While nothing is drawn into the window, it is not resized or
// mapped again and the pointer stays away, it is not read (see ChangeWatch).
class WindowGrabber final : public FrameGrabber {
public:
    // Redirects the window and names its pixmap; fails with the X error when the window is gone.
    static Expected<std::unique_ptr<WindowGrabber>> create(std::shared_ptr<X11Connection> connection,
                                                           xcb_window_t window, std::int32_t outputWidth,
                                                           std::int32_t outputHeight);

    Expected<ImageBufferPtr, CaptureError> grab() override;
    bool hasChanged() override;

private:
    WindowGrabber(std::shared_ptr<X11Connection> connection, xcb_window_t window, std::int32_t outputWidth,
                  std::int32_t outputHeight);
    MaybeError nameWindowPixmap();
    // The X error code of the last naming of the pixmap; 0 when it succeeded.
    std::uint8_t pixmapErrorCode_ = 0;
    // Reads the events of the window; true when it was destroyed.
    bool handleEvents();

    const std::shared_ptr<X11Connection> connection_;
    const xcb_window_t window_;
    const std::int32_t outputWidth_;
    const std::int32_t outputHeight_;
    CursorOverlay cursor_;
    ChangeWatch watch_;
    std::shared_ptr<ShmFramePool> pool_;
    std::unique_ptr<ShmFramePool::Buffer> scratch_;
    XcbResource pixmap_;
    std::int32_t width_ = 0; // of the window, without its border
    std::int32_t height_ = 0;
    std::int32_t border_ = 0;
    bool pixmapStale_ = false;
    bool destroyed_ = false;
};

} // namespace backreel::x11
