#include "platform/x11/FrameGrabber.h"

#include "platform/x11/ScreenGrabber.h"
#include "platform/x11/WindowGrabber.h"
#include "platform/x11/X11Geometry.h"

#include <set>

namespace backreel::x11 {

Expected<std::unique_ptr<FrameGrabber>> makeFrameGrabber(const std::shared_ptr<X11Connection>& connection,
                                                         const ContentFilter& filter,
                                                         const VideoSourceSettings& settings) {
    if (const auto* windowContent = filter.windowContent()) {
        const PixelRect frame = toPixelRect(windowContent->window.frame);
        const std::int32_t width = settings.width > 0 ? settings.width : std::max(frame.width, 1);
        const std::int32_t height =
            settings.height > 0 ? settings.height : std::max(frame.height, 1);
        auto grabber = WindowGrabber::create(connection, windowContent->window.windowID, width, height);
        if (!grabber) {
            return grabber.error();
        }
        return std::unique_ptr<FrameGrabber>(std::move(grabber).value());
    }
    const ContentFilter::DisplayContent& display = *filter.displayContent();
    const PixelRect wanted =
        displayGrabRect(display.display.frame, settings.sourceRect, settings.scalesToFit,
                        settings.width, settings.height);
    const std::int32_t width = settings.width > 0 ? settings.width : wanted.width;
    const std::int32_t height = settings.height > 0 ? settings.height : wanted.height;
    if (wanted.isEmpty() || width <= 0 || height <= 0) {
        return Error(QStringLiteral("The capture area is empty."));
    }

    std::optional<OwnWindowExclusion> exclusion;
    std::set<std::int64_t> excludedProcesses;
    for (const RunningApplication& application : display.excludedApplications) {
        if (application.processID > 0) {
            excludedProcesses.insert(application.processID);
        }
    }
    if (!excludedProcesses.empty()) {
        std::set<xcb_window_t> excepted;
        for (const Window& window : display.exceptingWindows) {
            excepted.insert(window.windowID);
        }
        exclusion.emplace(*connection, std::move(excludedProcesses), std::move(excepted));
    }
    return std::unique_ptr<FrameGrabber>(std::make_unique<ScreenGrabber>(
        connection, display.display, settings, width, height, std::move(exclusion)));
}

} // namespace backreel::x11
