#pragma once

// A capture stream on the test's X server, its frames going to a collector.

#include "platform/x11/X11Geometry.h"
#include "X11TestSupport.h"

namespace backreel::test {

using namespace std::chrono_literals;

class X11CaptureStreamTest : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        if (IsSkipped()) {
            return;
        }
        Expected<ShareableContent> listed = content(service_);
        ASSERT_TRUE(listed) << listed.error().description.toStdString();
        content_ = listed.value();
        ASSERT_FALSE(content_.displays.empty());
    }

    const Display& firstDisplay() const { return content_.displays.front(); }

    RunningApplication ownApplication() const {
        for (const RunningApplication& application : content_.applications) {
            if (application.bundleIdentifier == kBundleIdentifier) {
                return application;
            }
        }
        return {};
    }

    StreamConfiguration configuration(std::int32_t width, std::int32_t height) const {
        StreamConfiguration result;
        result.width = width;
        result.height = height;
        result.minimumFrameInterval = MediaTime(1, 30);
        return result;
    }

    // A started stream of the filter whose frames go to collector_.
    std::shared_ptr<CaptureStream> start(const ContentFilter& filter,
                                         const StreamConfiguration& streamConfiguration) {
        std::shared_ptr<CaptureStream> stream =
            service_.createStream(filter, streamConfiguration, &delegate_);
        EXPECT_FALSE(stream->addStreamOutput(collector_, StreamOutputType::screen, queue_));
        const MaybeError failure = startAndWait(*stream);
        EXPECT_FALSE(failure) << (failure ? failure->description.toStdString() : std::string());
        return failure ? nullptr : stream;
    }

    // Waits for a frame whose pixel at (x, y) has the colour; the last frame's colour otherwise.
    bool waitForColour(int x, int y, std::uint32_t colour, std::chrono::milliseconds timeout = 3000ms) {
        return waitUntil(
            [&] {
                const MediaSamplePtr sample = collector_->latest();
                return sample && sample->imageBuffer() && rgbAt(*sample->imageBuffer(), x, y) == colour;
            },
            timeout);
    }
    std::uint32_t colourAt(int x, int y) const {
        const MediaSamplePtr sample = collector_->latest();
        return sample && sample->imageBuffer() ? rgbAt(*sample->imageBuffer(), x, y) : 0xDEADBEEF;
    }

    X11CaptureService service_{nullptr};
    ShareableContent content_;
    SerialQueue queue_{"com.loopvane.capture.test"};
    std::shared_ptr<FrameCollector> collector_ = std::make_shared<FrameCollector>();
    RecordingDelegate delegate_;
};

} // namespace backreel::test
