#pragma once

// The fixture of the X11 backend's tests.

#include "platform/CaptureService.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11Geometry.h"
#include "platform/x11/X11VideoSource.h"
#include "support/FrameCollector.h"
#include "XcbTestWindow.h"

namespace backreel::test {

using namespace std::chrono_literals;

// The fixture of every test on the X server: skips without one, and lists the content first.
class X11Test : public SourceTest {
protected:
    void SetUp() override {
        if (xcb_connection_has_error(connection_.get()) != 0) {
            GTEST_SKIP() << "no X display; run under scripts/virtual-desktop";
        }
        Expected<ShareableContent, CaptureError> listed = await(service_->shareableContent());
        ASSERT_TRUE(listed) << listed.error().message.toStdString();
        content_ = listed.value();
        ASSERT_FALSE(content_.displays.empty());
    }

    xcb_connection_t* connection() const { return connection_.get(); }
    std::unique_ptr<TestWindow> ownWindow(const TestWindowOptions& options) const {
        return std::make_unique<TestWindow>(connection_.get(), options);
    }
    static const Window* findWindow(const ShareableContent& content, std::uint32_t id) {
        const auto found = std::ranges::find(content.windows, id, &Window::windowID);
        return found == content.windows.end() ? nullptr : &*found;
    }
    static ContentFilter windowFilter(std::uint32_t id, const QRectF& frame) {
        Window window;
        window.windowID = id;
        window.frame = frame;
        return ContentFilter::window(window);
    }
    // The main display, without our own application's windows when asked.
    ContentFilter displayFilter(bool withoutOurs = false) const {
        std::vector<RunningApplication> ours;
        for (const RunningApplication& application : content_.applications) {
            if (withoutOurs && application.applicationID == kApplicationID) {
                ours.push_back(application);
            }
        }
        return ContentFilter::display(content_.displays.front(), ours, {});
    }

    using SourceTest::start;
    std::unique_ptr<X11VideoSource> start(const ContentFilter& filter, const VideoSourceSettings& settings,
                                          std::chrono::milliseconds frameDelay = {}) {
        return start(std::make_unique<X11VideoSource>(filter, settings), frameDelay);
    }

    std::uint32_t colourAt(int x, int y) const { return collector_->colourAt(x, y); }
    bool waitForPattern(int x, int y, int width, int height) const {
        return waitUntil([&] {
            return colourAt(x + width / 4, y + height / 4) == kRed &&
                   colourAt(x + width * 3 / 4, y + height / 4) == kGreen &&
                   colourAt(x + width / 4, y + height * 3 / 4) == kBlue &&
                   colourAt(x + width * 3 / 4, y + height * 3 / 4) == kWhite;
        });
    }

    x11::XcbConnectionPtr connection_{xcb_connect(nullptr, nullptr)};
    std::shared_ptr<X11CaptureService> service_ = std::make_shared<X11CaptureService>();
    ShareableContent content_;
};

} // namespace backreel::test
