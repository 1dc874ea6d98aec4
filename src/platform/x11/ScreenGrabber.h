#pragma once

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
class ScreenGrabber final : public FrameGrabber {
public:
    ScreenGrabber(std::shared_ptr<X11Connection> connection, const PixelRect& wanted,
                  std::int32_t outputWidth, std::int32_t outputHeight,
                  std::optional<OwnWindowExclusion> exclusion);

    Expected<ImageBufferPtr> grab() override;

private:
    const std::shared_ptr<X11Connection> connection_;
    const PixelRect wanted_;
    const std::int32_t outputWidth_;
    const std::int32_t outputHeight_;
    std::optional<OwnWindowExclusion> exclusion_;
    CursorOverlay cursor_;
    std::shared_ptr<ShmFramePool> pool_;
    std::unique_ptr<ShmFramePool::Buffer> scratch_; // the grab, when it can't go to the frame itself
    std::vector<std::byte> whole_;                  // the wanted rectangle with black borders, before scaling
};

} // namespace backreel::x11
