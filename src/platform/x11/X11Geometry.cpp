#include "platform/x11/X11Geometry.h"

#include <algorithm>
#include <cmath>

namespace backreel::x11 {

namespace {
std::int32_t toPixel(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::clamp(std::round(value), -1.0e9, 1.0e9));
}
} // namespace

PixelRect toPixelRect(const QRectF& rect) {
    const std::int32_t left = toPixel(rect.left());
    const std::int32_t top = toPixel(rect.top());
    return {left, top, toPixel(rect.right()) - left, toPixel(rect.bottom()) - top};
}

PixelRect regionGrabRect(const QRectF& displayFrame, const QRectF& sourceRect, std::int32_t outputWidth,
                         std::int32_t outputHeight) {
    return {toPixel(displayFrame.x() + sourceRect.x()), toPixel(displayFrame.y() + sourceRect.y()),
            std::max(outputWidth, 0), std::max(outputHeight, 0)};
}

PixelRect displayGrabRect(const QRectF& displayFrame, const std::optional<QRectF>& sourceRect,
                          bool scalesToFit, std::int32_t outputWidth, std::int32_t outputHeight) {
    if (!sourceRect) {
        return toPixelRect(displayFrame);
    }
    return scalesToFit ? toPixelRect(sourceRect->translated(displayFrame.topLeft()))
                       : regionGrabRect(displayFrame, *sourceRect, outputWidth, outputHeight);
}

ClippedGrab clipGrab(const PixelRect& wanted, const PixelRect& bounds) {
    const PixelRect visible = intersected(wanted, bounds);
    if (visible.isEmpty()) {
        return {};
    }
    return {visible, visible.x - wanted.x, visible.y - wanted.y};
}

std::optional<std::size_t> mainMonitorIndex(const std::vector<MonitorPlacement>& monitors) {
    if (monitors.empty()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].primary) {
            return i;
        }
    }
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].x == 0 && monitors[i].y == 0) {
            return i;
        }
    }
    return 0;
}

int windowLayerFor(WindowType type, bool overrideRedirect, bool stateAbove, bool stateBelow) {
    if (overrideRedirect) {
        return window_layer::kOverrideRedirect;
    }
    switch (type) {
    case WindowType::desktop:
        return window_layer::kDesktop;
    case WindowType::dock:
        return window_layer::kDock;
    case WindowType::other:
        return window_layer::kOtherType;
    case WindowType::none:
    case WindowType::normal:
    case WindowType::dialog:
    case WindowType::utility:
        break;
    }
    if (stateAbove) {
        return window_layer::kAbove;
    }
    if (stateBelow) {
        return window_layer::kBelow;
    }
    return window_layer::kNormal;
}

bool windowIsOnScreen(bool viewable, std::optional<std::uint32_t> windowDesktop,
                      std::optional<std::uint32_t> currentDesktop) {
    if (!viewable) {
        return false;
    }
    if (!windowDesktop || !currentDesktop) {
        return true;
    }
    return *windowDesktop == 0xFFFFFFFFu || *windowDesktop == *currentDesktop;
}

} // namespace backreel::x11
