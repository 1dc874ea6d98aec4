#include "platform/x11/X11CaptureStream.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Geometry.h"
#include "X11CaptureStreamFixture.h"

#include <unistd.h>

namespace backreel::test {
namespace {

using namespace std::chrono_literals;

TEST_F(X11CaptureStreamTest, displayFramesShowTheScreenAtTheConfiguredPace) {
    HelperWindow helper(200, 150, 400, 300, "pattern");
    const Display& display = firstDisplay();
    auto stream =
        start(ContentFilter::display(display, {}, {}), configuration(display.width, display.height));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(300, 225, kRed)) << std::hex << colourAt(300, 225);
    EXPECT_EQ(colourAt(500, 225), kGreen);
    EXPECT_EQ(colourAt(300, 375), kBlue);
    EXPECT_EQ(colourAt(500, 375), kWhite);

    const MediaSamplePtr sample = collector_->latest();
    ASSERT_TRUE(sample->imageBuffer());
    EXPECT_EQ(sample->imageBuffer()->width(), display.width);
    EXPECT_EQ(sample->imageBuffer()->height(), display.height);
    EXPECT_EQ(sample->presentationTime().timeScale(), kTimeScale);
    EXPECT_EQ(sample->duration(), MediaTime(1, 30));

    // About 30 frames a second, with rising timestamps close to the monotonic clock.
    const int before = collector_->frames();
    const MediaTime firstTime = collector_->latest()->presentationTime();
    std::this_thread::sleep_for(1000ms);
    const int delivered = collector_->frames() - before;
    EXPECT_GE(delivered, 20);
    EXPECT_LE(delivered, 32);
    const MediaTime lastTime = collector_->latest()->presentationTime();
    EXPECT_GT(lastTime, firstTime);
    EXPECT_NEAR((x11::monotonicNow() - lastTime).seconds(), 0.0, 0.2);
    EXPECT_FALSE(stopAndWait(*stream));
}

TEST_F(X11CaptureStreamTest, displayIsScaledToTheConfigurationSize) {
    HelperWindow helper(200, 150, 400, 300, "pattern");
    const Display& display = firstDisplay();
    auto stream =
        start(ContentFilter::display(display, {}, {}), configuration(display.width / 2, display.height / 2));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(150, 112, kRed)) << std::hex << colourAt(150, 112);
    EXPECT_EQ(colourAt(250, 112), kGreen);
    EXPECT_EQ(colourAt(150, 187), kBlue);
    EXPECT_EQ(colourAt(250, 187), kWhite);
    EXPECT_EQ(collector_->latest()->imageBuffer()->width(), display.width / 2);
}

TEST_F(X11CaptureStreamTest, regionOfTheSecondMonitorIsRelativeToItAndBlackOffScreen) {
    const Display* second = findDisplay(content_, QStringLiteral("VIRT-2"));
    if (second == nullptr) {
        GTEST_SKIP() << "needs the two monitors of scripts/virtual-desktop --dual";
    }
    const int left = static_cast<int>(second->frame.x());
    HelperWindow helper(left + 300, 200, 400, 300, "pattern");
    StreamConfiguration region = configuration(400, 300);
    region.sourceRect = QRectF(300, 200, 400, 300);
    auto stream = start(ContentFilter::display(*second, {}, {}), region);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(100, 75, kRed)) << std::hex << colourAt(100, 75);
    EXPECT_EQ(colourAt(300, 75), kGreen);
    EXPECT_EQ(colourAt(100, 225), kBlue);
    EXPECT_EQ(colourAt(399, 299), kWhite);
    stream.reset();

    // A region hanging over the screen's right edge: the part beyond it is black.
    const int right = static_cast<int>(second->frame.right());
    auto edge = ownWindow(windowAt(right - 120, 600, 120, 100).solid(kMagenta));
    StreamConfiguration overEdge = configuration(240, 100);
    overEdge.sourceRect = QRectF(second->width - 120, 600, 240, 100);
    collector_ = std::make_shared<FrameCollector>();
    stream = start(ContentFilter::display(*second, {}, {}), overEdge);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(10, 50, kMagenta)) << std::hex << colourAt(10, 50);
    EXPECT_EQ(colourAt(119, 99), kMagenta);
    EXPECT_EQ(colourAt(120, 0), 0u);
    EXPECT_EQ(colourAt(239, 99), 0u);
}

TEST_F(X11CaptureStreamTest, windowIsCapturedWithItsOwnContentWhenCovered) {
    HelperWindow helper(100, 100, 320, 240, "covered");
    auto cover = ownWindow(windowAt(150, 130, 260, 180).solid(kYellow));
    Window target;
    target.windowID = helper.id();
    target.frame = QRectF(100, 100, 320, 240);
    auto stream = start(ContentFilter::desktopIndependentWindow(target), configuration(320, 240));
    ASSERT_TRUE(stream);
    // (80, 60) is under the yellow window on screen, red in the window itself.
    ASSERT_TRUE(waitForColour(80, 60, kRed)) << std::hex << colourAt(80, 60);
    EXPECT_EQ(colourAt(240, 60), kGreen);
    EXPECT_EQ(colourAt(80, 180), kBlue);
    EXPECT_EQ(colourAt(240, 180), kWhite);
    stream.reset();

    // Into a wider frame: scaled to fit with black bars left and right.
    collector_ = std::make_shared<FrameCollector>();
    stream = start(ContentFilter::desktopIndependentWindow(target), configuration(640, 240));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(160 + 80, 60, kRed)) << std::hex << colourAt(240, 60);
    EXPECT_EQ(colourAt(160 + 240, 180), kWhite);
    EXPECT_EQ(colourAt(50, 120), 0u);
    EXPECT_EQ(colourAt(600, 120), 0u);
}

TEST_F(X11CaptureStreamTest, ownWindowsAreLeftOutOnlyWhenExcluded) {
    HelperWindow helper(600, 400, 400, 300, "beneath");
    auto ours = ownWindow(windowAt(650, 450, 300, 200).solid(kYellow));
    const Display& display = firstDisplay();

    auto included =
        start(ContentFilter::display(display, {}, {}), configuration(display.width, display.height));
    ASSERT_TRUE(included);
    ASSERT_TRUE(waitForColour(700, 500, kYellow)) << std::hex << colourAt(700, 500);
    included.reset();

    collector_ = std::make_shared<FrameCollector>();
    auto excluded = start(ContentFilter::display(display, {ownApplication()}, {}),
                          configuration(display.width, display.height));
    ASSERT_TRUE(excluded);
    // Where our window is, the helper's pattern (every quadrant) shows instead.
    ASSERT_TRUE(waitForColour(700, 500, kRed)) << std::hex << colourAt(700, 500);
    EXPECT_EQ(colourAt(900, 500), kGreen);
    EXPECT_EQ(colourAt(700, 600), kBlue);
    EXPECT_EQ(colourAt(900, 600), kWhite);
    // Outside our window nothing changes.
    EXPECT_EQ(colourAt(620, 420), kRed);
}

TEST_F(X11CaptureStreamTest, cursorIsDrawnWhereThePointerIs) {
    auto plain = ownWindow(windowAt(0, 0, 200, 200).solid(kGreen));
    xcb_warp_pointer(connection(), XCB_NONE, xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root,
                     0, 0, 0, 0, 100, 100);
    sync(connection());
    const Display& display = firstDisplay();
    StreamConfiguration region = configuration(64, 64);
    region.sourceRect = QRectF(68, 68, 64, 64); // the pointer's hot spot at (32, 32)
    auto stream = start(ContentFilter::display(display, {}, {}), region);
    ASSERT_TRUE(stream);
    const bool drawn = waitUntil([&] {
        const MediaSamplePtr sample = collector_->latest();
        if (!sample || !sample->imageBuffer()) {
            return false;
        }
        int other = 0;
        for (int y = 16; y < 48; ++y) {
            for (int x = 16; x < 48; ++x) {
                other += rgbAt(*sample->imageBuffer(), x, y) != kGreen ? 1 : 0;
            }
        }
        return other > 0;
    });
    EXPECT_TRUE(drawn) << "no cursor pixels near the hot spot";
    EXPECT_EQ(colourAt(0, 0), kGreen);
}

TEST_F(X11CaptureStreamTest, closingTheCapturedWindowEndsTheStreamOnce) {
    auto window = ownWindow(windowAt(50, 50, 100, 80).solid(kBlue));
    Window target;
    target.windowID = window->id();
    target.frame = QRectF(50, 50, 100, 80);
    auto stream = start(ContentFilter::desktopIndependentWindow(target), configuration(100, 80));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(50, 40, kBlue));
    window->destroy();
    ASSERT_TRUE(waitUntil([&] { return !delegate_.errors().empty(); }));
    std::this_thread::sleep_for(200ms);
    const std::vector<Error> errors = delegate_.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].domain, QStringLiteral("X11"));
    EXPECT_EQ(errors[0].code, x11::x11_error::kWindowClosed);
    EXPECT_EQ(errors[0].description, QStringLiteral("The captured window was closed."));
    EXPECT_FALSE(stopAndWait(*stream));
}

TEST_F(X11CaptureStreamTest, startFailsWithTheXErrorForAWindowThatIsGone) {
    Window gone;
    gone.windowID = 0x1FFFFF; // an id no client owns
    gone.frame = QRectF(0, 0, 100, 100);
    std::shared_ptr<CaptureStream> stream = service_.createStream(
        ContentFilter::desktopIndependentWindow(gone), configuration(100, 100), &delegate_);
    const MaybeError failure = startAndWait(*stream);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->domain, QStringLiteral("X11"));
    EXPECT_TRUE(failure->description.contains(QStringLiteral("BadWindow")))
        << failure->description.toStdString();
    EXPECT_TRUE(delegate_.errors().empty());
}

TEST_F(X11CaptureStreamTest, startFailsClearlyForAWindowThatIsNotShown) {
    auto hidden = ownWindow(windowAt(50, 50, 100, 80).solid(kBlue).unmapped());
    Window target;
    target.windowID = hidden->id();
    target.frame = QRectF(50, 50, 100, 80);
    std::shared_ptr<CaptureStream> stream = service_.createStream(
        ContentFilter::desktopIndependentWindow(target), configuration(100, 80), &delegate_);
    const MaybeError failure = startAndWait(*stream);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, x11::x11_error::kWindowNotShown);
    EXPECT_EQ(failure->description,
              QStringLiteral("The window to record is not on screen. Show it, then start again."));
}

TEST_F(X11CaptureStreamTest, losingTheXServerEndsTheStream) {
    PrivateXServer server({});
    if (server.display().isEmpty()) {
        GTEST_SKIP() << "Xvfb could not be started";
    }
    std::shared_ptr<CaptureStream> stream;
    {
        const DisplayOverride useServer(server.display());
        X11CaptureService service(nullptr);
        Expected<ShareableContent> listed = content(service);
        ASSERT_TRUE(listed && !listed.value().displays.empty());
        stream =
            start(ContentFilter::display(listed.value().displays.front(), {}, {}), configuration(320, 240));
    }
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() >= 2; }));
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !delegate_.errors().empty(); }));
    std::this_thread::sleep_for(100ms);
    const std::vector<Error> errors = delegate_.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, x11::x11_error::kConnectionLost);
    EXPECT_EQ(errors[0].description, QStringLiteral("The connection to the X server was lost."));
}

TEST_F(X11CaptureStreamTest, withoutSharedMemoryTheScreenIsReadWithGetImage) {
    PrivateXServer server({"-extension", "MIT-SHM"});
    if (server.display().isEmpty()) {
        GTEST_SKIP() << "Xvfb could not be started";
    }
    const DisplayOverride useServer(server.display());
    HelperWindow helper(20, 20, 200, 160, "pattern");
    X11CaptureService service(nullptr);
    Expected<ShareableContent> listed = content(service);
    ASSERT_TRUE(listed && !listed.value().displays.empty());
    auto stream =
        start(ContentFilter::display(listed.value().displays.front(), {}, {}), configuration(320, 240));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitForColour(70, 60, kRed)) << std::hex << colourAt(70, 60);
    EXPECT_EQ(colourAt(170, 140), kWhite);
}

TEST_F(X11CaptureStreamTest, nothingIsDeliveredAfterStopAndDestructionIsSilent) {
    const Display& display = firstDisplay();
    auto stream = start(ContentFilter::display(display, {}, {}), configuration(320, 180));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() >= 3; }));
    EXPECT_FALSE(stopAndWait(*stream));
    queue_.sync([] {}); // blocks queued before the stop have run
    const int afterStop = collector_->frames();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(collector_->frames(), afterStop);

    auto second = start(ContentFilter::display(display, {}, {}), configuration(320, 180));
    ASSERT_TRUE(second);
    second.reset(); // destroyed while running
    EXPECT_TRUE(delegate_.errors().empty());
}

TEST_F(X11CaptureStreamTest, aSlowConsumerGetsAtMostTwoQueuedFrames) {
    collector_->delay = 150ms;
    const Display& display = firstDisplay();
    auto stream =
        start(ContentFilter::display(display, {}, {}), configuration(display.width, display.height));
    ASSERT_TRUE(stream);
    auto* x11Stream = dynamic_cast<X11CaptureStream*>(stream.get());
    ASSERT_NE(x11Stream, nullptr);
    int mostWaiting = 0;
    for (int i = 0; i < 40; ++i) {
        const X11CaptureStream::Statistics statistics = x11Stream->statistics();
        // Handed out but not consumed: at most two waiting plus the one being consumed.
        mostWaiting = std::max(mostWaiting, static_cast<int>(statistics.delivered) - collector_->frames());
        std::this_thread::sleep_for(15ms);
    }
    EXPECT_LE(mostWaiting, 3);
    EXPECT_GT(x11Stream->statistics().droppedBusy, 0);
}

} // namespace
} // namespace backreel::test
