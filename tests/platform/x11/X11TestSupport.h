#pragma once

// What the X11 backend's tests share: windows of the test's own and of another process,
// sources started and waited for, whose frames are collected.

#include "platform/CaptureService.h"
#include "platform/pulse/PulseTestSupport.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11Geometry.h"
#include "platform/x11/X11VideoSource.h"
#include "support/Await.h"
#include "XcbTestWindow.h"

#include <QCoroTask>

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

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

// Keeps the newest picture, every frame's times (with a picture or not), the colour of one
// pixel of every picture, and copies of audio given to it; takes `delay` over each frame when
// asked to stand in for a slow consumer.
class CaptureCollector final : public FrameSink {
public:
    struct Arrival {
        MediaTime presentationTime;
        MediaTime receivedAt; // the monotonic clock when it arrived
    };
    explicit CaptureCollector(std::chrono::milliseconds delay)
        : delay_(delay) {}

    void takeFrame(const VideoFrame& frame) override {
        {
            std::lock_guard lock(mutex_);
            if (frame.image) {
                latest_ = frame;
                probed_.push_back(colourAt(*frame.image, probeX_, probeY_));
            }
            arrivals_.push_back({frame.presentationTime, x11::monotonicNow()});
        }
        std::this_thread::sleep_for(delay_);
    }
    // 0xRRGGBB of a pixel of a picture.
    static std::uint32_t colourAt(const ImageBuffer& image, int x, int y) {
        std::uint32_t bgra = 0; // a little-endian word: 0xAARRGGBB
        const auto row = static_cast<std::size_t>(y) * image.bytesPerRow();
        std::memcpy(&bgra, image.baseAddress() + row + static_cast<std::size_t>(x) * 4, 4);
        return bgra & 0xFFFFFF;
    }
    // The pixel whose colour is kept for every picture from now on.
    void probeAt(int x, int y) {
        std::lock_guard lock(mutex_);
        probeX_ = x;
        probeY_ = y;
    }
    // That pixel's colour in each picture so far.
    std::vector<std::uint32_t> probed() const {
        std::lock_guard lock(mutex_);
        return probed_;
    }
    int pictures() const { return static_cast<int>(probed().size()); }
    AudioCollector& audio() { return audio_; }

    std::optional<VideoFrame> latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    std::vector<Arrival> arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    int frames() const { return static_cast<int>(arrivals().size()); }

private:
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::optional<VideoFrame> latest_;
    std::vector<Arrival> arrivals_;
    std::vector<std::uint32_t> probed_;
    int probeX_ = 0;
    int probeY_ = 0;
    AudioCollector audio_;
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
                                        std::optional<QRectF> sourceRect = {}) {
        return {.width = width,
                .height = height,
                .frameInterval = MediaTime(1, 30),
                .sourceRect = sourceRect,
                .scalesToFit = !sourceRect.has_value()};
    }

    // A source of service_ whose end is kept in ends().
    std::unique_ptr<X11VideoSource> makeSource(const ContentFilter& filter, const VideoSourceSettings& settings) {
        auto source = std::make_unique<X11VideoSource>(filter, settings);
        QObject::connect(source.get(), &VideoSource::ended,
                         [this](const CaptureError& reason) { ends_.push_back(reason); });
        return source;
    }
    // A started source whose frames go to a new collector_; null when it failed.
    std::unique_ptr<X11VideoSource> start(const ContentFilter& filter, const VideoSourceSettings& settings,
                                          std::chrono::milliseconds frameDelay = {}) {
        // Earlier collectors stay: a source the test still holds may run on into its own.
        collectors_.push_back(collector_ = std::make_shared<CaptureCollector>(frameDelay));
        std::unique_ptr<X11VideoSource> source = makeSource(filter, settings);
        const std::optional<CaptureError> failure = startAndWait(*source, *collector_);
        EXPECT_FALSE(failure) << (failure ? failure->message.toStdString() : std::string());
        return failure ? nullptr : std::move(source);
    }
    // Why sources ended by themselves, in order (main thread).
    const std::vector<CaptureError>& ends() const { return ends_; }

    // 0xRRGGBB of a pixel of the newest frame.
    std::uint32_t colourAt(int x, int y) const {
        const std::optional<VideoFrame> frame = collector_->latest();
        return frame && frame->image ? CaptureCollector::colourAt(*frame->image, x, y) : 0xDEADBEEF;
    }
    bool waitForColour(int x, int y, std::uint32_t colour) const {
        return waitUntil([&] { return colourAt(x, y) == colour; });
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
    std::shared_ptr<CaptureCollector> collector_;
    std::vector<std::shared_ptr<CaptureCollector>> collectors_;
    std::vector<CaptureError> ends_;
};

} // namespace backreel::test
