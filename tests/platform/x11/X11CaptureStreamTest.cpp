#include "platform/x11/X11CaptureStream.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenPictureService.h"
#include "support/LogCapture.h"
#include "X11TestSupport.h"

#include <QColor>
#include <ranges>

namespace backreel::test {
namespace {

using X11CaptureStreamTest = X11Test;

TEST_F(X11CaptureStreamTest, displayFramesShowTheScreenAndCursorPacedScaledAndWithoutOurWindowsWhenAsked) {
    HelperWindow helper(200, 150, 400, 300, "pattern");
    auto ours = ownWindow({250, 200, 300, 200, kYellow}); // over the middle of every quadrant
    const Display& display = content_.displays.front();
    auto stream = start(displayFilter(), configuration(display.width, display.height));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(300, 225, kYellow)) << std::hex << colourAt(300, 225);
    EXPECT_EQ(colourAt(210, 160), kRed);
    EXPECT_EQ(colourAt(590, 440), kWhite);
    const VideoFrame frame = collector_->latest().value();
    EXPECT_TRUE(frame.image->width() == display.width && frame.image->height() == display.height);
    EXPECT_EQ(frame.duration, MediaTime(1, 30));
    // The pointer over our window: cursor pixels around its hot spot.
    xcb_warp_pointer(connection(), XCB_NONE, screenOf(connection())->root, 0, 0, 0, 0, 400, 300);
    sync(connection());
    EXPECT_TRUE(waitUntil([&] {
        return std::ranges::any_of(std::views::iota(0, 32 * 32),
                                   [&](int i) { return colourAt(384 + i % 32, 284 + i / 32) != kYellow; });
    })) << "no cursor pixels near the hot spot";

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

    // Without our application, into half the size: the whole pattern, scaled.
    stream = start(displayFilter(true), configuration(display.width / 2, display.height / 2));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitForPattern(100, 75, 200, 150)) << std::hex << colourAt(150, 112);
    EXPECT_EQ(collector_->latest()->image->width(), display.width / 2);
}

TEST_F(X11CaptureStreamTest, aRegionIsRelativeToItsMonitorAndBlackBeyondTheScreen) {
    const auto second = std::ranges::find(content_.displays, QStringLiteral("VIRT-2"), &Display::name);
    if (second == content_.displays.end()) {
        GTEST_SKIP() << "needs the two monitors of scripts/virtual-desktop --dual";
    }
    // The right-most monitor: half of the window and of the region hang over the screen's edge.
    auto window = ownWindow({static_cast<int>(second->frame.right()) - 200, 200, 400, 300});
    auto stream = start(ContentFilter::display(*second, {}, {}),
                        configuration(400, 300, QRectF(second->width - 200, 200, 400, 300)));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(100, 75, kRed)) << std::hex << colourAt(100, 75);
    EXPECT_EQ(colourAt(199, 299), kBlue);
    EXPECT_EQ(colourAt(200, 0), 0u);
    EXPECT_EQ(colourAt(399, 299), 0u);
}

TEST_F(X11CaptureStreamTest, aCoveredWindowIsCapturedWithItsOwnContentFittedWithBars) {
    HelperWindow helper(100, 100, 320, 240, "covered");
    auto cover = ownWindow({150, 130, 260, 180, kYellow});
    // Into a wider frame: scaled to fit with black bars left and right. (240, 60) is under the
    // yellow window on screen, red in the window itself.
    auto stream = start(windowFilter(helper.id, QRectF(100, 100, 320, 240)), configuration(640, 240));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(waitForPattern(160, 0, 320, 240)) << std::hex << colourAt(240, 60);
    EXPECT_EQ(colourAt(50, 120), 0u);
    EXPECT_EQ(colourAt(600, 120), 0u);
}

TEST_F(X11CaptureStreamTest, aWindowThatIsGoneHiddenOrClosedEndsTheCaptureWithAClearText) {
    const auto windowStream = [&](std::uint32_t id) {
        return windowFilter(id, QRectF(50, 50, 100, 80));
    };
    const MaybeError gone =
        startAndWait(*service_->createStream(windowStream(0x1FFFFF), configuration(100, 80), this));
    ASSERT_TRUE(gone); // an id no client owns
    EXPECT_EQ(gone->domain, QStringLiteral("X11"));
    EXPECT_TRUE(gone->description.contains(QStringLiteral("BadWindow"))) << gone->description.toStdString();
    auto hiddenWindow = ownWindow({.x = 50, .y = 50, .width = 100, .height = 80, .map = false});
    const MaybeError hidden =
        startAndWait(*service_->createStream(windowStream(hiddenWindow->id()), configuration(100, 80), this));
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->code, x11::x11_error::kWindowNotShown);
    EXPECT_EQ(hidden->description,
              QStringLiteral("The window to record is not on screen. Show it, then start again."));
    EXPECT_TRUE(errors().empty());

    // Closed while captured: the stream ends, once.
    auto window = ownWindow({50, 50, 100, 80, kBlue});
    auto stream = start(windowStream(window->id()), configuration(100, 80));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(50, 40, kBlue));
    window.reset();
    ASSERT_TRUE(waitUntil([&] { return !errors().empty(); }));
    EXPECT_FALSE(waitUntil([&] { return errors().size() > 1; }, 200ms));
    EXPECT_EQ(errors().front().code, x11::x11_error::kWindowClosed);
    EXPECT_EQ(errors().front().description, QStringLiteral("The captured window was closed."));
    EXPECT_FALSE(stopAndWait(*stream));
}

TEST_F(X11CaptureStreamTest,
       withoutSharedMemoryOrDamageTheScreenIsReadWithGetImageAtEveryTickAndLosingTheServerEndsTheStream) {
    LogCapture log;
    // An X server of the test's own, which can go away. -noreset: otherwise it restarts, refusing
    // connections for a moment, each time its last client leaves.
    ChildProcess server;
    ASSERT_TRUE(server.start({"Xvfb", "-displayfd", "1", "-screen", "0", "320x240x24", "-noreset",
                              "-nolisten", "tcp", "-extension", "MIT-SHM", "-extension", "DAMAGE"},
                             false));
    const std::string display = ":" + server.firstLine();
    ASSERT_GT(display.size(), 1u) << "Xvfb did not come up";
    std::shared_ptr<CaptureStream> stream;
    {
        const DisplayOverride useServer(display);
        HelperWindow helper(20, 20, 200, 160, "pattern");
        Expected<ShareableContent> listed = contentOf(*service_);
        ASSERT_TRUE(listed && !listed.value().displays.empty());
        stream =
            start(ContentFilter::display(listed.value().displays.front(), {}, {}), configuration(320, 240));
        ASSERT_TRUE(stream);
        EXPECT_TRUE(waitForPattern(20, 20, 200, 160)) << std::hex << colourAt(70, 60);
        // Nothing tells what changed: every tick grabs a picture, as the log says once.
        const auto statistics = [&] {
            return dynamic_cast<X11CaptureStream&>(*stream).statistics();
        };
        const std::int64_t pictures = statistics().delivered;
        std::this_thread::sleep_for(500ms);
        EXPECT_GE(statistics().delivered - pictures, 10);
        EXPECT_EQ(statistics().unchanged, 0);
        EXPECT_EQ(log.countStartingWith(QStringLiteral("[Capture] The X server has no DAMAGE extension")), 1);
    }
    server.kill(true);
    ASSERT_TRUE(waitUntil([&] { return !errors().empty(); }));
    EXPECT_FALSE(waitUntil([&] { return errors().size() > 1; }, 100ms));
    EXPECT_EQ(errors().front().code, x11::x11_error::kConnectionLost);
    EXPECT_EQ(errors().front().description, QStringLiteral("The connection to the X server was lost."));
}

TEST_F(X11CaptureStreamTest, aSlowConsumerGetsAtMostTwoQueuedFramesAndNothingAfterStop) {
    // 150 ms over each frame: a sleep standing in for a slow consumer.
    auto stream = start(displayFilter(), configuration(320, 180), 150ms);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() >= 6; }));
    EXPECT_LE(collector_->mostQueued(), 2);
    EXPECT_GT(dynamic_cast<X11CaptureStream&>(*stream).statistics().droppedBusy, 0);
    EXPECT_FALSE(stopAndWait(*stream));
    queue_.sync([] {}); // frames handed out before the stop have been taken
    const int afterStop = collector_->frames();
    EXPECT_FALSE(waitUntil([&] { return collector_->frames() > afterStop; }, 200ms));

    stream = start(displayFilter(), configuration(320, 180));
    ASSERT_TRUE(stream);
    stream.reset(); // destroyed while running
    EXPECT_TRUE(errors().empty());
}

TEST_F(X11CaptureStreamTest, aPictureOfTheScreenShowsWhatItShowsAndBlackBeyondIt) {
    auto window = ownWindow({200, 150, 400, 300});
    const int right = screenOf(connection())->width_in_pixels;
    auto edge = ownWindow({right - 20, 0, 20, 20, kYellow});
    X11ScreenPictureService pictures;
    QImage picture;
    ASSERT_TRUE(waitUntil([&] {
        picture = pictures.picture(QRect(200, 150, 400, 300));
        return !picture.isNull() && QColor(picture.pixel(100, 75)) == Qt::red;
    }));
    EXPECT_EQ(QColor(picture.pixel(100, 225)), Qt::blue);
    // Across the right edge of the root window: the part beyond it is black.
    picture = pictures.picture(QRect(right - 10, 0, 20, 10));
    ASSERT_EQ(picture.size(), QSize(20, 10));
    EXPECT_EQ(QColor(picture.pixel(9, 9)), Qt::yellow);
    EXPECT_EQ(QColor(picture.pixel(10, 0)), Qt::black);
    EXPECT_TRUE(pictures.picture(QRect(right + 5, 0, 20, 10)).isNull());
    EXPECT_TRUE(pictures.picture(QRect()).isNull());
}

} // namespace
} // namespace backreel::test
