#pragma once

#include "platform/ShareableContent.h"
#include "platform/VideoSource.h"
#include "platform/x11/ChangeWatch.h"
#include "platform/x11/CursorOverlay.h"
#include "platform/x11/FrameGrabber.h"
#include "platform/x11/OwnWindowExclusion.h"
#include "platform/x11/ShmFramePool.h"
#include "platform/x11/X11Geometry.h"

#include <memory>
#include <optional>
#include <vector>

namespace backreel::x11 {

// Grabs a rectangle of the root window (a monitor, or a region of one) with MIT-SHM. Parts of the
// rectangle outside the screen are black; when the output size differs from the rectangle's, the
// picture is scaled to fit (letterboxed). The frames are the pool's shared-memory buffers, read
// into directly when no clipping or scaling is needed.
//
// The grab follows the display when the screen's layout changes during the stream (a game that
// switches the resolution, a monitor moved in the settings): about once a second of ticks, and at
// once when a read fails, it looks at the screen's size and the display's rectangle again. A
// display that changed size is scaled into the stream's size; a region keeps its place on its
// display; a display that is gone leaves its last rectangle, black where the screen no longer
// reaches. While nothing is drawn into the rectangle and the pointer stays away, the screen is not
// read at all (see ChangeWatch).
class ScreenGrabber final : public FrameGrabber {
public:
    ScreenGrabber(std::shared_ptr<X11Connection> connection, const Display& display,
                  const VideoSourceSettings& settings, std::int32_t outputWidth,
                  std::int32_t outputHeight, std::optional<OwnWindowExclusion> exclusion);

    Expected<ImageBufferPtr, CaptureError> grab() override;
    bool hasChanged() override;

private:
    // Hands the connection's events to the change watch; the rest (asynchronous errors) go.
    void pollEvents();
    // Reads the screen's size and the display's rectangle again; true when either changed.
    bool refreshLayout();

    const std::shared_ptr<X11Connection> connection_;
    const std::uint32_t displayID_;
    const VideoSourceSettings settings_;
    PixelRect wanted_;
    PixelRect screen_;
    int framesSinceLayoutCheck_ = 0;
    const std::int32_t outputWidth_;
    const std::int32_t outputHeight_;
    std::optional<OwnWindowExclusion> exclusion_;
    CursorOverlay cursor_;
    ChangeWatch watch_;
    std::shared_ptr<ShmFramePool> pool_;
    std::unique_ptr<ShmFramePool::Buffer> scratch_; // the grab, when it can't go to the frame itself
    std::vector<std::byte> whole_;                  // the wanted rectangle with black borders, before scaling
};

} // namespace backreel::x11
