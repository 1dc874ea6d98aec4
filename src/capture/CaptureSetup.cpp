#include "capture/CaptureSetup.h"

#include <cmath>

namespace backreel {

std::int32_t evenDimension(double value) {
    if (!std::isfinite(value)) {
        return 2;
    }
    const double rounded = std::round(value); // halves away from zero
    if (rounded <= 2.0) {
        return 2;
    }
    if (rounded >= 2147483646.0) {
        return 2147483646;
    }
    const auto even = static_cast<std::int32_t>(rounded) & ~std::int32_t{1};
    return even <= 2 ? 2 : even;
}

std::optional<Display> mainDisplayOf(const std::vector<Display>& displays, std::uint32_t mainDisplayID) {
    for (const Display& display : displays) {
        if (display.displayID == mainDisplayID) {
            return display;
        }
    }
    if (!displays.empty()) {
        return displays.front();
    }
    return std::nullopt;
}

namespace {
std::vector<RunningApplication> ownApplications(bool includeBackreelWindow, const ShareableContent& content) {
    std::vector<RunningApplication> excluded;
    if (includeBackreelWindow) {
        return excluded;
    }
    for (const RunningApplication& application : content.applications) {
        if (application.applicationID == kApplicationID) {
            excluded.push_back(application);
        }
    }
    return excluded;
}
} // namespace

std::optional<ResolvedCapture> resolveCapture(const CaptureTarget& target, bool includeBackreelWindow,
                                              const ShareableContent& content, std::uint32_t mainDisplayID) {
    if (const auto* window = target.asWindow()) {
        const QRectF rect = window->filter.contentRect();
        return ResolvedCapture{window->filter, evenDimension(rect.width()), evenDimension(rect.height()),
                               std::nullopt};
    }
    if (const auto* region = target.asRegion()) {
        return ResolvedCapture{
            ContentFilter::display(region->display, ownApplications(includeBackreelWindow, content), {}),
            evenDimension(region->rect.width()), evenDimension(region->rect.height()), region->rect};
    }
    const auto* displayTarget = target.asDisplay();
    std::optional<Display> display = displayTarget->display;
    if (!display) {
        display = mainDisplayOf(content.displays, mainDisplayID);
    }
    if (!display) {
        return std::nullopt;
    }
    return ResolvedCapture{
        ContentFilter::display(*display, ownApplications(includeBackreelWindow, content), {}), display->width,
        display->height, std::nullopt};
}

ContentKind contentKindOf(const CaptureTarget& target) {
    if (target.asWindow() != nullptr) {
        return ContentKind::window;
    }
    return target.asRegion() != nullptr ? ContentKind::region : ContentKind::display;
}

CaptureTarget targetInChosenContent(const CaptureTarget& target, const ShareableContent& chosen) {
    if (target.asWindow() != nullptr) {
        return chosen.windows.empty()
                   ? target
                   : CaptureTarget::window(ContentFilter::window(chosen.windows.front()));
    }
    if (chosen.displays.empty()) {
        return target;
    }
    if (const auto* region = target.asRegion()) {
        return CaptureTarget::region(region->rect, chosen.displays.front());
    }
    return CaptureTarget::display(chosen.displays.front());
}

VideoSourceSettings videoSourceSettings(const ResolvedCapture& capture, int frameRate) {
    VideoSourceSettings settings;
    settings.width = capture.width;
    settings.height = capture.height;
    settings.frameInterval = MediaTime(1, frameRate);
    settings.sourceRect = capture.sourceRect;
    settings.scalesToFit = !capture.sourceRect.has_value();
    return settings;
}

} // namespace backreel
