#pragma once

#include "platform/ContentFilter.h"
#include "platform/ShareableContent.h"

#include <QRectF>

#include <optional>
#include <variant>

namespace backreel {

// What to capture: a whole display (none: the main display, chosen at start), one window, or a
// rectangle of a display in that display's top-left point space.
class CaptureTarget {
public:
    struct DisplayTarget {
        std::optional<Display> display;
        friend bool operator==(const DisplayTarget&, const DisplayTarget&) = default;
    };
    struct WindowTarget {
        ContentFilter filter;
        friend bool operator==(const WindowTarget&, const WindowTarget&) = default;
    };
    struct RegionTarget {
        QRectF rect;
        Display display;
        friend bool operator==(const RegionTarget&, const RegionTarget&) = default;
    };

    static CaptureTarget display(std::optional<Display> display = std::nullopt) {
        return CaptureTarget(DisplayTarget{std::move(display)});
    }
    static CaptureTarget window(ContentFilter filter) { return CaptureTarget(WindowTarget{std::move(filter)}); }
    static CaptureTarget region(QRectF rect, Display display) {
        return CaptureTarget(RegionTarget{rect, std::move(display)});
    }

    const DisplayTarget* asDisplay() const { return std::get_if<DisplayTarget>(&value_); }
    const WindowTarget* asWindow() const { return std::get_if<WindowTarget>(&value_); }
    const RegionTarget* asRegion() const { return std::get_if<RegionTarget>(&value_); }

    friend bool operator==(const CaptureTarget&, const CaptureTarget&) = default;

private:
    explicit CaptureTarget(std::variant<DisplayTarget, WindowTarget, RegionTarget> value) : value_(std::move(value)) {}

    std::variant<DisplayTarget, WindowTarget, RegionTarget> value_;
};

} // namespace backreel
