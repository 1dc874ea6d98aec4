#pragma once

// What the X11 backend's tests share: the display and a connection of the test's own for its
// windows, a window of another process, completions waited for, and capture streams whose frames
// and audio go to a collector.

#include "platform/CaptureStream.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/pulse/AudioCollector.h"
#include "platform/ShareableContent.h"
#include "platform/x11/X11CaptureService.h"
#include "platform/x11/X11Geometry.h"
#include "XcbTestWindow.h"

#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace backreel::test {

using namespace std::chrono_literals;

// Calls call with a completion handler and waits (at most ten seconds) for its value, which may
// come on any thread.
template <typename T, typename Call> std::optional<T> completion(Call call) {
    struct Box {
        std::mutex mutex;
        std::optional<T> value;
    };
    const auto box = std::make_shared<Box>();
    call([box](T value) {
        std::lock_guard lock(box->mutex);
        box->value = std::move(value);
    });
    std::optional<T> value;
    waitUntil(
        [&] {
            std::lock_guard lock(box->mutex);
            value = box->value;
            return value.has_value();
        },
        10s);
    return value;
}

inline Expected<ShareableContent> contentOf(CaptureService& service) {
    return completion<Expected<ShareableContent>>([&](auto done) { service.getShareableContent(done); })
        .value_or(Error::backreel(0, QStringLiteral("no answer")));
}

inline MaybeError startAndWait(CaptureStream& stream) {
    return completion<MaybeError>([&](auto done) { stream.startCapture(done); })
        .value_or(Error::backreel(0, QStringLiteral("the start did not complete")));
}

inline MaybeError stopAndWait(CaptureStream& stream) {
    return completion<MaybeError>([&](auto done) { stream.stopCapture(done); })
        .value_or(Error::backreel(0, QStringLiteral("the stop did not complete")));
}

// A window of another process (PatternWindowHelper.cpp) with the pattern, its id once it is up.
class HelperWindow {
public:
    HelperWindow(int x, int y, int width, int height, const std::string& title) {
        if (process_.startReadingOutput({BACKREEL_PATTERN_WINDOW_HELPER, std::to_string(x), std::to_string(y),
                                         std::to_string(width), std::to_string(height), title})) {
            window_ = static_cast<std::uint32_t>(std::stoul(process_.firstLine().value_or("0")));
        }
    }
    std::uint32_t id() const { return window_; }
    std::int64_t processID() const { return process_.pid(); }

private:
    ChildProcess process_;
    std::uint32_t window_ = 0;
};

// Keeps the newest frame and every frame's times, and copies of the audio.
class CaptureCollector final : public StreamOutput {
public:
    struct Arrival {
        MediaTime presentationTime;
        MediaTime receivedAt; // the monotonic clock when it arrived
    };

    void didOutputVideoFrame(CaptureStream&, const VideoFrame& frame) override {
        std::lock_guard lock(mutex_);
        latest_ = frame;
        arrivals_.push_back({frame.presentationTime, x11::monotonicNow()});
    }
    void didOutputAudio(CaptureStream&, const AudioView& audio) override { audio_.add(audio); }

    std::optional<VideoFrame> latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    std::vector<Arrival> arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    int frames() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(arrivals_.size());
    }
    const AudioCollector& audio() const { return audio_; }

private:
    mutable std::mutex mutex_;
    std::optional<VideoFrame> latest_;
    std::vector<Arrival> arrivals_;
    AudioCollector audio_;
};

class RecordingDelegate final : public StreamDelegate {
public:
    void streamDidStopWithError(CaptureStream&, const Error& error) override {
        std::lock_guard lock(mutex_);
        errors_.push_back(error);
    }
    std::vector<Error> errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Error> errors_;
};

// 0xRRGGBB of a pixel of a BGRA picture.
inline std::uint32_t rgbAt(const ImageBuffer& image, int x, int y) {
    const std::byte* pixel = image.baseAddress() + static_cast<std::size_t>(y) * image.bytesPerRow() +
                             static_cast<std::size_t>(x) * 4;
    return (std::to_integer<std::uint32_t>(pixel[2]) << 16) |
           (std::to_integer<std::uint32_t>(pixel[1]) << 8) | std::to_integer<std::uint32_t>(pixel[0]);
}

// The fixture of every test on the X server: skips without one, lists the content first.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display_.missing().empty()) {
            GTEST_SKIP() << display_.missing();
        }
        Expected<ShareableContent> listed = contentOf(*service_);
        ASSERT_TRUE(listed) << listed.error().description.toStdString();
        content_ = listed.value();
        ASSERT_FALSE(content_.displays.empty());
    }

    xcb_connection_t* connection() const { return display_.get(); }
    std::unique_ptr<TestWindow> ownWindow(const TestWindowOptions& options) const {
        return std::make_unique<TestWindow>(display_.get(), options);
    }

    static const Window* findWindow(const ShareableContent& content, std::uint32_t id) {
        const auto found = std::find_if(content.windows.begin(), content.windows.end(),
                                        [&](const Window& window) { return window.windowID == id; });
        return found == content.windows.end() ? nullptr : &*found;
    }
    static Window windowOf(std::uint32_t id, const QRectF& frame) {
        Window window;
        window.windowID = id;
        window.frame = frame;
        return window;
    }
    static StreamConfiguration configuration(std::int32_t width, std::int32_t height) {
        StreamConfiguration result;
        result.width = width;
        result.height = height;
        result.minimumFrameInterval = MediaTime(1, 30);
        return result;
    }

    // A started stream of service_ whose frames and audio go to collector_; null when it failed.
    std::shared_ptr<CaptureStream> start(const ContentFilter& filter,
                                         const StreamConfiguration& streamConfiguration) {
        std::shared_ptr<CaptureStream> stream =
            service_->createStream(filter, streamConfiguration, &delegate_);
        EXPECT_FALSE(stream->addStreamOutput(collector_, StreamOutputType::screen, queue_));
        EXPECT_FALSE(stream->addStreamOutput(collector_, StreamOutputType::audio, audioQueue_));
        const MaybeError failure = startAndWait(*stream);
        EXPECT_FALSE(failure) << (failure ? failure->description.toStdString() : std::string());
        return failure ? nullptr : stream;
    }
    std::shared_ptr<CaptureStream> startDisplay(const Display& display,
                                                std::vector<RunningApplication> excluded = {}) {
        return start(ContentFilter::display(display, std::move(excluded), {}),
                     configuration(display.width, display.height));
    }

    std::uint32_t colourAt(int x, int y) const {
        const std::optional<VideoFrame> frame = collector_->latest();
        return frame && frame->image ? rgbAt(*frame->image, x, y) : 0xDEADBEEF;
    }
    // Waits for a frame whose pixel at (x, y) has the colour.
    bool waitForColour(int x, int y, std::uint32_t colour, std::chrono::milliseconds timeout = 5s) const {
        return waitUntil([&] { return colourAt(x, y) == colour; }, timeout);
    }
    // Waits until the newest frame shows the pattern (red, green, blue, white quadrants) in the
    // rectangle.
    bool waitForPattern(int x, int y, int width, int height) const {
        return waitUntil([&] {
            return colourAt(x + width / 4, y + height / 4) == kRed &&
                   colourAt(x + width * 3 / 4, y + height / 4) == kGreen &&
                   colourAt(x + width / 4, y + height * 3 / 4) == kBlue &&
                   colourAt(x + width * 3 / 4, y + height * 3 / 4) == kWhite;
        });
    }

    TestDisplay display_;
    std::shared_ptr<X11CaptureService> service_ = std::make_shared<X11CaptureService>(nullptr);
    ShareableContent content_;
    SerialQueue queue_{"com.loopvane.capture.test"};
    SerialQueue audioQueue_{"com.loopvane.audio.test"};
    std::shared_ptr<CaptureCollector> collector_ = std::make_shared<CaptureCollector>();
    RecordingDelegate delegate_;
};

} // namespace backreel::test
