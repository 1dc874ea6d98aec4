#pragma once

#include "platform/ShareableContent.h"

#include <QRectF>

#include <variant>
#include <vector>

namespace backreel {

// What a capture stream shows: a display without some applications' windows, or one window on
// its own, independent of what covers it.
class ContentFilter {
public:
    struct DisplayContent {
        Display display;
        std::vector<RunningApplication> excludedApplications;
        std::vector<Window> exceptingWindows;
        friend bool operator==(const DisplayContent&, const DisplayContent&) = default;
    };
    struct WindowContent {
        Window window;
        friend bool operator==(const WindowContent&, const WindowContent&) = default;
    };

    static ContentFilter display(Display display, std::vector<RunningApplication> excludingApplications,
                                 std::vector<Window> exceptingWindows) {
        return ContentFilter(DisplayContent{std::move(display), std::move(excludingApplications),
                                            std::move(exceptingWindows)});
    }
    static ContentFilter window(Window window) {
        return ContentFilter(WindowContent{std::move(window)});
    }

    const DisplayContent* displayContent() const { return std::get_if<DisplayContent>(&content_); }
    const WindowContent* windowContent() const { return std::get_if<WindowContent>(&content_); }

    // The size and place of the filtered content, in points: the window's frame or the display's.
    QRectF contentRect() const {
        if (const auto* window = windowContent()) {
            return window->window.frame;
        }
        return std::get<DisplayContent>(content_).display.frame;
    }

    friend bool operator==(const ContentFilter&, const ContentFilter&) = default;

private:
    explicit ContentFilter(std::variant<DisplayContent, WindowContent> content) : content_(std::move(content)) {}

    std::variant<DisplayContent, WindowContent> content_;
};

} // namespace backreel
