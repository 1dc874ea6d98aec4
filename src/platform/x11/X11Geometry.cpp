#include "platform/x11/X11Geometry.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace backreel::x11 {

PixelRect intersected(const PixelRect& a, const PixelRect& b) {
    const std::int32_t left = std::max(a.x, b.x);
    const std::int32_t top = std::max(a.y, b.y);
    const std::int32_t right = std::min(a.right(), b.right());
    const std::int32_t bottom = std::min(a.bottom(), b.bottom());
    if (right <= left || bottom <= top) {
        return {};
    }
    return {left, top, right - left, bottom - top};
}

bool intersects(const PixelRect& a, const PixelRect& b) {
    return !intersected(a, b).isEmpty();
}

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

PixelRect aspectFitRect(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t destinationWidth,
                        std::int32_t destinationHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 || destinationHeight <= 0) {
        return {};
    }
    // Compare the aspect ratios exactly in 64-bit integers: the wider one decides the fitting side.
    const auto sw = static_cast<std::int64_t>(sourceWidth);
    const auto sh = static_cast<std::int64_t>(sourceHeight);
    const auto dw = static_cast<std::int64_t>(destinationWidth);
    const auto dh = static_cast<std::int64_t>(destinationHeight);
    std::int64_t width = dw;
    std::int64_t height = dh;
    if (sw * dh > dw * sh) {
        height = std::max<std::int64_t>(1, (dw * sh + sw / 2) / sw); // source is wider: bars above and below
    } else if (sw * dh < dw * sh) {
        width = std::max<std::int64_t>(1, (dh * sw + sh / 2) / sh); // source is taller: bars left and right
    }
    return {static_cast<std::int32_t>((dw - width) / 2), static_cast<std::int32_t>((dh - height) / 2),
            static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
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

std::int64_t nextFrameIndex(std::chrono::nanoseconds elapsed, std::chrono::nanoseconds interval) {
    if (interval.count() <= 0) {
        return 0;
    }
    if (elapsed.count() < 0) {
        return 0;
    }
    return elapsed.count() / interval.count() + 1;
}

std::chrono::nanoseconds frameIntervalOf(MediaTime minimumFrameInterval) {
    const double seconds = minimumFrameInterval.seconds();
    if (!minimumFrameInterval.isValid() || !(seconds > 0) || !std::isfinite(seconds)) {
        return std::chrono::nanoseconds(16'666'667);
    }
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(seconds * 1e9)));
}

MediaTime monotonicMediaTime(std::int64_t seconds, std::int64_t nanoseconds) {
    return MediaTime(seconds * kTimeScale + nanoseconds * kTimeScale / 1'000'000'000, kTimeScale);
}

MediaTime monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return monotonicMediaTime(now.tv_sec, now.tv_nsec);
}

} // namespace backreel::x11
