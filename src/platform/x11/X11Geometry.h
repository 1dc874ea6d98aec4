#pragma once

#include "core/media/MediaTime.h"
#include "platform/pixels/FrameClock.h"
#include "platform/pixels/FramePixels.h"
#include "platform/pixels/PixelGeometry.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <QRectF>
#include <vector>

// Pure geometry and timing of the X11 capture: plain values in, plain values out, no X calls.
// On X11 one point is one pixel, so display frames and window frames are pixel rectangles.
namespace backreel::x11 {

// The pixel work and frame clock every capture backend shares.
using pixels::aspectFitRect;
using pixels::blendPremultiplied;
using pixels::copyPixels;
using pixels::fillBlack;
using pixels::fillBlackOutside;
using pixels::frameIntervalOf;
using pixels::intersected;
using pixels::intersects;
using pixels::monotonicMediaTime;
using pixels::monotonicNow;
using pixels::nextFrameIndex;
using pixels::PixelRect;
using pixels::PixelView;
using pixels::scaleToFit;

// A rectangle in points rounded to whole pixels (edges to the nearest pixel).
PixelRect toPixelRect(const QRectF& rect);

// What a region capture grabs, in root coordinates: the region (in the display's top-left points)
// moved by the display's origin, at its top-left pixel, with exactly the output's size (regions
// are captured unscaled).
PixelRect regionGrabRect(const QRectF& displayFrame, const QRectF& sourceRect, std::int32_t outputWidth,
                         std::int32_t outputHeight);

// What a display or region capture grabs, in root coordinates, for the display at displayFrame:
// the whole display, or the source rectangle moved by the display's origin (unscaled regions at
// exactly the output's size, see regionGrabRect()). Used again when the display moves or changes
// size during a stream.
PixelRect displayGrabRect(const QRectF& displayFrame, const std::optional<QRectF>& sourceRect,
                          bool scalesToFit, std::int32_t outputWidth, std::int32_t outputHeight);

// A grab limited to what exists: `source` is the part of the wanted rectangle inside the bounds
// (root coordinates), and (offsetX, offsetY) is where that part lands inside a frame of the
// wanted size. Everything else of the frame is black.
struct ClippedGrab {
    PixelRect source;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    friend bool operator==(const ClippedGrab&, const ClippedGrab&) = default;
};
ClippedGrab clipGrab(const PixelRect& wanted, const PixelRect& bounds);

// Which monitor is the main display: the primary one, else the one at the origin, else the first.
struct MonitorPlacement {
    bool primary = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
};
std::optional<std::size_t> mainMonitorIndex(const std::vector<MonitorPlacement>& monitors);

// Window layers, as Window::windowLayer and WindowServerEntry::layer report them. Normal
// application windows are 0; the others follow the stacking the window manager gives them.
namespace window_layer {
inline constexpr int kDesktop = -1000;        // _NET_WM_WINDOW_TYPE_DESKTOP
inline constexpr int kBelow = -1;             // _NET_WM_STATE_BELOW
inline constexpr int kNormal = 0;             // normal, dialog, utility or no type
inline constexpr int kAbove = 3;              // _NET_WM_STATE_ABOVE
inline constexpr int kDock = 20;              // _NET_WM_WINDOW_TYPE_DOCK (panels)
inline constexpr int kOtherType = 25;         // toolbar, menu, splash, notification...
inline constexpr int kOverrideRedirect = 101; // popups the window manager never sees
} // namespace window_layer

enum class WindowType { none, normal, dialog, utility, dock, desktop, other };

int windowLayerFor(WindowType type, bool overrideRedirect, bool stateAbove, bool stateBelow);

// A window is on screen when it is viewable and on the current desktop (or on all desktops,
// 0xFFFFFFFF). Without a window manager's desktop properties only the map state counts.
bool windowIsOnScreen(bool viewable, std::optional<std::uint32_t> windowDesktop,
                      std::optional<std::uint32_t> currentDesktop);

} // namespace backreel::x11
