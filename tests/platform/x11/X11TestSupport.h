#pragma once

// What the X11 backend's tests share: windows of the test's own and of another process, and
// sources started and waited for, whose frames are collected.

#include "platform/CaptureService.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11Geometry.h"
#include "platform/x11/X11VideoSource.h"
#include "support/Await.h"
#include "support/FrameCollector.h"
#include "XcbTestWindow.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <QCoroTask>

namespace backreel::test {

using namespace std::chrono_literals;

inline Expected<ShareableContent, CaptureError> contentOf(CaptureService& service) {
    return await(service.shareableContent());
}
inline std::optional<CaptureError> startAndWait(VideoSource& source, FrameSink& sink) {
    return await(source.start(sink));
}

// A window of another process (PatternWindowHelper.cpp) with the pattern; its id once it is up.
struct HelperWindow : ChildProcess {
    HelperWindow(int x, int y, int width, int height, const std::string& title) {
        if (start({BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(x), std::to_string(y),
                   std::to_string(width), std::to_string(height), title},
                  false)) {
            id = static_cast<std::uint32_t>(std::strtoul(firstLine().c_str(), nullptr, 10));
        }
    }
    std::uint32_t id = 0;
};

// The fixture of every test on the X server: skips without one, lists the content first, and keeps
// the reasons its sources ended with.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (xcb_connection_has_error(connection_.get()) != 0) {
            GTEST_SKIP() << "no X display; run under scripts/virtual-desktop";
        }
        Expected<ShareableContent, CaptureError> listed = contentOf(*service_);
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
    static VideoSourceSettings settings(std::int32_t width, std::int32_t height,
                                        std::optional<QRectF> sourceRect = {}, int frameRate = 30) {
        return {.width = width,
                .height = height,
                .frameInterval = MediaTime(1, frameRate),
                .sourceRect = sourceRect,
                .scalesToFit = !sourceRect.has_value()};
    }

    // A source of service_ whose end is kept in ends().
    std::unique_ptr<X11VideoSource> makeSource(const ContentFilter& filter,
                                               const VideoSourceSettings& settings) {
        auto source = std::make_unique<X11VideoSource>(filter, settings);
        QObject::connect(source.get(), &VideoSource::ended,
                         [this](const CaptureError& reason) { ends_.push_back(reason); });
        return source;
    }
    // A started source whose frames go to a new collector_; null when it failed.
    std::unique_ptr<X11VideoSource> start(const ContentFilter& filter, const VideoSourceSettings& settings,
                                          std::chrono::milliseconds frameDelay = {}) {
        // Earlier collectors stay: a source the test still holds may run on into its own.
        collectors_.push_back(collector_ = std::make_shared<FrameCollector>(frameDelay));
        std::unique_ptr<X11VideoSource> source = makeSource(filter, settings);
        const std::optional<CaptureError> failure = startAndWait(*source, *collector_);
        EXPECT_FALSE(failure) << (failure ? failure->message.toStdString() : std::string());
        return failure ? nullptr : std::move(source);
    }
    // Why sources ended by themselves, in order (main thread).
    const std::vector<CaptureError>& ends() const { return ends_; }

    std::uint32_t colourAt(int x, int y) const { return collector_->colourAt(x, y); }
    bool waitForColour(int x, int y, std::uint32_t colour) const {
        return collector_->waitForColour(x, y, colour);
    }
    // Waits until the newest frame shows the pattern's four quadrants in the rectangle.
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
    std::shared_ptr<FrameCollector> collector_;
    std::vector<std::shared_ptr<FrameCollector>> collectors_;
    std::vector<CaptureError> ends_;
};

} // namespace backreel::test
