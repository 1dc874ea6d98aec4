#pragma once

// What the X11 backend's tests share: windows of the test's own and of another process,
// completions waited for, and capture streams whose frames and audio are collected.

#include "platform/CaptureStream.h"
#include "core/dispatch/SerialQueue.h"
#include "platform/pulse/PulseTestSupport.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11CaptureStream.h"
#include "platform/x11/X11Geometry.h"
#include "support/StreamStops.h"
#include "XcbTestWindow.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace backreel::test {

using namespace std::chrono_literals;

// Calls call with a completion handler and waits (at most ten seconds) for the value it gets, on
// any thread; an error when none comes.
template <typename T, typename Call> T completion(Call call) {
    const auto box = std::make_shared<std::pair<std::mutex, std::optional<T>>>();
    call([box](T value) {
        std::lock_guard lock(box->first);
        box->second = std::move(value);
    });
    std::optional<T> value;
    waitUntil(
        [&] {
            std::lock_guard lock(box->first);
            return (value = box->second).has_value();
        },
        10s);
    return value.value_or(Error::backreel(0, QStringLiteral("no completion")));
}
inline Expected<ShareableContent> contentOf(CaptureService& service) {
    return completion<Expected<ShareableContent>>([&](auto done) { service.getShareableContent(done); });
}
inline MaybeError startAndWait(CaptureStream& stream) {
    return completion<MaybeError>([&](auto done) { stream.startCapture(done); });
}
inline MaybeError stopAndWait(CaptureStream& stream) {
    return completion<MaybeError>([&](auto done) { stream.stopCapture(done); });
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
// pixel of every picture, and copies of the audio; takes `delay` over each frame when asked to
// stand in for a slow consumer.
class CaptureCollector final : public StreamOutput {
public:
    struct Arrival {
        MediaTime presentationTime;
        MediaTime receivedAt; // the monotonic clock when it arrived
    };
    explicit CaptureCollector(std::chrono::milliseconds delay)
        : delay_(delay) {}

    void didOutputVideoFrame(CaptureStream& stream, const VideoFrame& frame) override {
        const X11CaptureStream::Statistics statistics = dynamic_cast<X11CaptureStream&>(stream).statistics();
        {
            std::lock_guard lock(mutex_);
            if (frame.image) {
                latest_ = frame;
                probed_.push_back(colourAt(*frame.image, probeX_, probeY_));
            }
            arrivals_.push_back({frame.presentationTime, x11::monotonicNow()});
            mostQueued_ = std::max(mostQueued_, statistics.delivered + statistics.unchanged -
                                                    static_cast<std::int64_t>(arrivals_.size()));
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
    void didOutputAudio(CaptureStream&, const AudioView& audio) override { audio_.add(audio); }

    std::optional<VideoFrame> latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    std::vector<Arrival> arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    int frames() const { return static_cast<int>(arrivals().size()); }
    // The most frames that were handed out but not yet taken.
    std::int64_t mostQueued() const {
        std::lock_guard lock(mutex_);
        return mostQueued_;
    }
    const AudioCollector& audio() const { return audio_; }

private:
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::optional<VideoFrame> latest_;
    std::vector<Arrival> arrivals_;
    std::vector<std::uint32_t> probed_;
    int probeX_ = 0;
    int probeY_ = 0;
    std::int64_t mostQueued_ = 0;
    AudioCollector audio_;
};

// The fixture of every test on the X server: skips without one, lists the content first, and is
// the delegate of the streams it starts.
class X11Test : public ::testing::Test, public StreamStops {
protected:
    void SetUp() override {
        if (xcb_connection_has_error(connection_.get()) != 0) {
            GTEST_SKIP() << "no X display; run under scripts/virtual-desktop";
        }
        Expected<ShareableContent> listed = contentOf(*service_);
        ASSERT_TRUE(listed) << listed.error().description.toStdString();
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
        return ContentFilter::desktopIndependentWindow(window);
    }
    // The main display, without our own application's windows when asked.
    ContentFilter displayFilter(bool withoutOurs = false) const {
        std::vector<RunningApplication> ours;
        for (const RunningApplication& application : content_.applications) {
            if (withoutOurs && application.bundleIdentifier == kBundleIdentifier) {
                ours.push_back(application);
            }
        }
        return ContentFilter::display(content_.displays.front(), ours, {});
    }
    static StreamConfiguration configuration(std::int32_t width, std::int32_t height,
                                             std::optional<QRectF> sourceRect = {}) {
        return {.width = width,
                .height = height,
                .minimumFrameInterval = MediaTime(1, 30),
                .sourceRect = sourceRect};
    }

    // A started stream of service_ whose frames and audio go to a new collector_; null when it
    // failed.
    std::shared_ptr<CaptureStream> start(const ContentFilter& filter,
                                         const StreamConfiguration& configuration,
                                         std::chrono::milliseconds frameDelay = {}) {
        collector_ = std::make_shared<CaptureCollector>(frameDelay);
        std::shared_ptr<CaptureStream> stream = service_->createStream(filter, configuration, this);
        EXPECT_FALSE(stream->addStreamOutput(collector_, StreamOutputType::screen, queue_));
        EXPECT_FALSE(stream->addStreamOutput(collector_, StreamOutputType::audio, audioQueue_));
        const MaybeError failure = startAndWait(*stream);
        EXPECT_FALSE(failure) << (failure ? failure->description.toStdString() : std::string());
        return failure ? nullptr : stream;
    }

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
    std::shared_ptr<X11CaptureService> service_ = std::make_shared<X11CaptureService>(nullptr);
    ShareableContent content_;
    SerialQueue queue_{"com.loopvane.capture.test"};
    SerialQueue audioQueue_{"com.loopvane.audio.test"};
    std::shared_ptr<CaptureCollector> collector_;
};

} // namespace backreel::test
