#include "platform/x11/X11CaptureStream.h"

#include "platform/x11/X11Connection.h"
#include "X11TestSupport.h"

namespace backreel::test {
namespace {

using X11CaptureStreamTest = X11Test;

TEST_F(X11CaptureStreamTest, displayFramesShowTheScreenAtTheConfiguredPaceAndScale) {
    HelperWindow helper(200, 150, 400, 300, "pattern");
    const Display& display = content_.displays.front();
    auto stream = startDisplay(display);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForPattern(200, 150, 400, 300)) << std::hex << colourAt(300, 225);
    const VideoFrame frame = collector_->latest().value();
    EXPECT_EQ(frame.image->width(), display.width);
    EXPECT_EQ(frame.image->height(), display.height);
    EXPECT_EQ(frame.duration, MediaTime(1, 30));

    // Thirty frames a second at most (late ticks are skipped, not caught up), stamped with the
    // monotonic clock when they were taken.
    const auto before = static_cast<std::size_t>(collector_->frames());
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() > static_cast<int>(before + 30); }));
    const std::vector<CaptureCollector::Arrival> arrivals = collector_->arrivals();
    EXPECT_GE((arrivals[before + 30].presentationTime - arrivals[before].presentationTime).seconds(), 0.9);
    for (const CaptureCollector::Arrival& arrival : arrivals) {
        EXPECT_LT((arrival.receivedAt - arrival.presentationTime).seconds(), 0.2);
    }
    EXPECT_FALSE(stopAndWait(*stream));

    // Into half the size: scaled.
    collector_ = std::make_shared<CaptureCollector>();
    stream =
        start(ContentFilter::display(display, {}, {}), configuration(display.width / 2, display.height / 2));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitForPattern(100, 75, 200, 150)) << std::hex << colourAt(150, 112);
    EXPECT_EQ(collector_->latest()->image->width(), display.width / 2);
}

TEST_F(X11CaptureStreamTest, regionOfTheSecondMonitorIsRelativeToItAndBlackOffScreen) {
    const auto second =
        std::find_if(content_.displays.begin(), content_.displays.end(),
                     [](const Display& display) { return display.name == QStringLiteral("VIRT-2"); });
    if (second == content_.displays.end()) {
        GTEST_SKIP() << "needs the two monitors of scripts/virtual-desktop --dual";
    }
    const int left = static_cast<int>(second->frame.x());
    HelperWindow helper(left + 300, 200, 400, 300, "pattern");
    StreamConfiguration region = configuration(400, 300);
    region.sourceRect = QRectF(300, 200, 400, 300);
    auto stream = start(ContentFilter::display(*second, {}, {}), region);
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitForPattern(0, 0, 400, 300)) << std::hex << colourAt(100, 75);
    EXPECT_EQ(colourAt(399, 299), kWhite);

    // A region hanging over the screen's right edge: the part beyond it is black.
    auto edge = ownWindow(windowAt(static_cast<int>(second->frame.right()) - 120, 600, 120, 100, kMagenta));
    StreamConfiguration overEdge = configuration(240, 100);
    overEdge.sourceRect = QRectF(second->width - 120, 600, 240, 100);
    collector_ = std::make_shared<CaptureCollector>();
    stream = start(ContentFilter::display(*second, {}, {}), overEdge);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(10, 50, kMagenta)) << std::hex << colourAt(10, 50);
    EXPECT_EQ(colourAt(119, 99), kMagenta);
    EXPECT_EQ(colourAt(120, 0), 0u);
    EXPECT_EQ(colourAt(239, 99), 0u);
}

TEST_F(X11CaptureStreamTest, windowIsCapturedWithItsOwnContentWhenCovered) {
    HelperWindow helper(100, 100, 320, 240, "covered");
    auto cover = ownWindow(windowAt(150, 130, 260, 180, kYellow));
    const Window target = windowOf(helper.id(), QRectF(100, 100, 320, 240));
    auto stream = start(ContentFilter::desktopIndependentWindow(target), configuration(320, 240));
    ASSERT_TRUE(stream);
    // (80, 60) is under the yellow window on screen, red in the window itself.
    EXPECT_TRUE(waitForPattern(0, 0, 320, 240)) << std::hex << colourAt(80, 60);

    // Into a wider frame: scaled to fit with black bars left and right.
    collector_ = std::make_shared<CaptureCollector>();
    stream = start(ContentFilter::desktopIndependentWindow(target), configuration(640, 240));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitForPattern(160, 0, 320, 240)) << std::hex << colourAt(240, 60);
    EXPECT_EQ(colourAt(50, 120), 0u);
    EXPECT_EQ(colourAt(600, 120), 0u);
}

TEST_F(X11CaptureStreamTest, ownWindowsAreLeftOutOnlyWhenExcluded) {
    HelperWindow helper(600, 400, 400, 300, "beneath");
    auto ours = ownWindow(windowAt(650, 450, 300, 200, kYellow));
    const Display& display = content_.displays.front();
    auto stream = startDisplay(display);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(700, 500, kYellow)) << std::hex << colourAt(700, 500);

    RunningApplication self;
    for (const RunningApplication& application : content_.applications) {
        self = application.bundleIdentifier == kBundleIdentifier ? application : self;
    }
    collector_ = std::make_shared<CaptureCollector>();
    stream = startDisplay(display, {self});
    ASSERT_TRUE(stream);
    // Where our window is, the helper's pattern (every quadrant) shows instead.
    EXPECT_TRUE(waitForPattern(600, 400, 400, 300)) << std::hex << colourAt(700, 500);
}

TEST_F(X11CaptureStreamTest, cursorIsDrawnWhereThePointerIs) {
    auto plain = ownWindow(windowAt(0, 0, 200, 200, kGreen));
    xcb_warp_pointer(connection(), XCB_NONE, display_.root(), 0, 0, 0, 0, 100, 100);
    sync(connection());
    StreamConfiguration region = configuration(64, 64);
    region.sourceRect = QRectF(68, 68, 64, 64); // the pointer's hot spot at (32, 32)
    auto stream = start(ContentFilter::display(content_.displays.front(), {}, {}), region);
    ASSERT_TRUE(stream);
    // The window shows at the corner, something else (the cursor) near the hot spot.
    EXPECT_TRUE(waitUntil([&] {
        int other = 0;
        for (int y = 16; y < 48; ++y) {
            for (int x = 16; x < 48; ++x) {
                other += colourAt(x, y) != kGreen ? 1 : 0;
            }
        }
        return colourAt(0, 0) == kGreen && other > 0;
    })) << "no cursor pixels near the hot spot";
}

TEST_F(X11CaptureStreamTest, closingTheCapturedWindowEndsTheStreamOnce) {
    auto window = ownWindow(windowAt(50, 50, 100, 80, kBlue));
    auto stream =
        start(ContentFilter::desktopIndependentWindow(windowOf(window->id(), QRectF(50, 50, 100, 80))),
              configuration(100, 80));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(50, 40, kBlue));
    window->destroy();
    ASSERT_TRUE(waitUntil([&] { return !delegate_.errors().empty(); }));
    EXPECT_FALSE(waitUntil([&] { return delegate_.errors().size() > 1; }, 200ms));
    const Error error = delegate_.errors().front();
    EXPECT_EQ(error.domain, QStringLiteral("X11"));
    EXPECT_EQ(error.code, x11::x11_error::kWindowClosed);
    EXPECT_EQ(error.description, QStringLiteral("The captured window was closed."));
    EXPECT_FALSE(stopAndWait(*stream));
}

TEST_F(X11CaptureStreamTest, startFailsWithAClearTextForAWindowThatIsGoneOrNotShown) {
    auto startWindow = [&](std::uint32_t id) {
        const auto stream = service_->createStream(
            ContentFilter::desktopIndependentWindow(windowOf(id, QRectF(50, 50, 100, 80))),
            configuration(100, 80), &delegate_);
        return startAndWait(*stream);
    };
    const MaybeError gone = startWindow(0x1FFFFF); // an id no client owns
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->domain, QStringLiteral("X11"));
    EXPECT_TRUE(gone->description.contains(QStringLiteral("BadWindow"))) << gone->description.toStdString();

    TestWindowOptions unmapped = windowAt(50, 50, 100, 80, kBlue);
    unmapped.map = false;
    const MaybeError hidden = startWindow(ownWindow(unmapped)->id());
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->code, x11::x11_error::kWindowNotShown);
    EXPECT_EQ(hidden->description,
              QStringLiteral("The window to record is not on screen. Show it, then start again."));
    EXPECT_TRUE(delegate_.errors().empty());
}

TEST_F(X11CaptureStreamTest, withoutSharedMemoryTheScreenIsReadWithGetImageAndLosingTheServerEndsTheStream) {
    PrivateXServer server({"-extension", "MIT-SHM"});
    if (server.display().empty()) {
        GTEST_SKIP() << "Xvfb could not be started";
    }
    std::shared_ptr<CaptureStream> stream;
    {
        const DisplayOverride useServer(server.display());
        HelperWindow helper(20, 20, 200, 160, "pattern");
        Expected<ShareableContent> listed = contentOf(*service_);
        ASSERT_TRUE(listed && !listed.value().displays.empty());
        stream =
            start(ContentFilter::display(listed.value().displays.front(), {}, {}), configuration(320, 240));
        ASSERT_TRUE(stream);
        EXPECT_TRUE(waitForPattern(20, 20, 200, 160)) << std::hex << colourAt(70, 60);
    }
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !delegate_.errors().empty(); }));
    EXPECT_FALSE(waitUntil([&] { return delegate_.errors().size() > 1; }, 100ms));
    EXPECT_EQ(delegate_.errors().front().code, x11::x11_error::kConnectionLost);
    EXPECT_EQ(delegate_.errors().front().description,
              QStringLiteral("The connection to the X server was lost."));
}

TEST_F(X11CaptureStreamTest, nothingIsDeliveredAfterStopAndDestructionIsSilent) {
    auto stream = start(ContentFilter::display(content_.displays.front(), {}, {}), configuration(320, 180));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() >= 3; }));
    EXPECT_FALSE(stopAndWait(*stream));
    queue_.sync([] {}); // blocks queued before the stop have run
    const int afterStop = collector_->frames();
    EXPECT_FALSE(waitUntil([&] { return collector_->frames() > afterStop; }, 200ms));

    stream = start(ContentFilter::display(content_.displays.front(), {}, {}), configuration(320, 180));
    ASSERT_TRUE(stream);
    stream.reset(); // destroyed while running
    EXPECT_TRUE(delegate_.errors().empty());
}

// Takes 150 ms over each frame and notes how many more frames were handed out meanwhile.
class SlowConsumer final : public StreamOutput {
public:
    void didOutputVideoFrame(CaptureStream& stream, const VideoFrame&) override {
        const std::int64_t delivered = dynamic_cast<X11CaptureStream&>(stream).statistics().delivered;
        mostWaiting = std::max(mostWaiting.load(), delivered - ++taken);
        std::this_thread::sleep_for(150ms);
    }
    void didOutputAudio(CaptureStream&, const AudioView&) override {}
    std::atomic<std::int64_t> taken = 0;
    std::atomic<std::int64_t> mostWaiting = 0;
};

TEST_F(X11CaptureStreamTest, aSlowConsumerGetsAtMostTwoQueuedFrames) {
    const Display& display = content_.displays.front();
    auto consumer = std::make_shared<SlowConsumer>();
    auto stream = service_->createStream(ContentFilter::display(display, {}, {}),
                                         configuration(display.width, display.height), nullptr);
    ASSERT_FALSE(stream->addStreamOutput(consumer, StreamOutputType::screen, queue_));
    ASSERT_FALSE(startAndWait(*stream));
    ASSERT_TRUE(waitUntil([&] { return consumer->taken >= 6; }));
    EXPECT_LE(consumer->mostWaiting, 2);
    EXPECT_GT(dynamic_cast<X11CaptureStream&>(*stream).statistics().droppedBusy, 0);
}

} // namespace
} // namespace backreel::test
