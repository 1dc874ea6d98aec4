#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenPictureService.h"
#include "support/LogCapture.h"
#include "X11TestSupport.h"

#include <QColor>
#include <ranges>

namespace backreel::test {
namespace {

class X11VideoSourceTest : public X11Test {
protected:
    static void movePointer(int x, int y) {
        ASSERT_TRUE(runProgram({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}));
    }
    // Whether the 32×32 square around (x, y) shows more than `colour`: the cursor's hot spot is there.
    bool showsCursorAt(int x, int y, std::uint32_t colour) const {
        return std::ranges::any_of(std::views::iota(0, 32 * 32), [&](int i) {
            return colourAt(x - 16 + i % 32, y - 16 + i / 32) != colour;
        });
    }
    // The ticks go on without a picture until `draw`; the next picture shows it at (x, y).
    void expectStillUntilDrawn(const X11VideoSource& still, int x, int y, const std::function<void()>& draw) {
        collector_->probeAt(x, y);
        std::this_thread::sleep_for(200ms);
        const int pictures = collector_->pictures();
        const std::int64_t ticks = still.statistics().unchanged;
        std::this_thread::sleep_for(600ms);
        EXPECT_EQ(collector_->pictures(), pictures);
        EXPECT_GE(still.statistics().unchanged - ticks, 12);
        draw();
        ASSERT_TRUE(waitForColour(x, y, kBlue));
        EXPECT_EQ(collector_->probed().at(static_cast<std::size_t>(pictures)), kBlue);
    }
};

TEST_F(X11VideoSourceTest, displayFramesShowTheScreenPacedScaledAndWithoutOurWindowsWhenAsked) {
    HelperWindow helper(200, 150, 400, 300, "pattern");
    auto ours = ownWindow({250, 200, 300, 200, kYellow}); // over the middle of every quadrant
    const Display& display = content_.displays.front();
    auto stream = start(displayFilter(), settings(display.width, display.height));
    ASSERT_TRUE(stream && waitForColour(300, 225, kYellow)) << std::hex << colourAt(300, 225);
    EXPECT_EQ(colourAt(210, 160), kRed);
    EXPECT_EQ(colourAt(590, 440), kWhite);
    const VideoFrame frame = collector_->latest().value();
    EXPECT_TRUE(frame.image->width() == display.width && frame.image->height() == display.height);
    EXPECT_EQ(frame.duration, MediaTime(1, 30));
    // Stamped with the monotonic clock when they were taken.
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() > 10; }));
    for (const FrameCollector::Arrival& arrival : collector_->arrivals()) {
        const double late = (arrival.receivedAt - arrival.presentationTime).seconds();
        EXPECT_TRUE(late > -0.001 && late < 0.2) << late;
    }
    stream->stop();

    // Without our application, into half the size: the whole pattern, scaled.
    stream = start(displayFilter(true), settings(display.width / 2, display.height / 2));
    ASSERT_TRUE(stream && waitForPattern(100, 75, 200, 150)) << std::hex << colourAt(150, 112);
    EXPECT_EQ(collector_->latest()->image->width(), display.width / 2);
}

TEST_F(X11VideoSourceTest, movingContentAt60FramesASecondGivesEveryFrame) {
    if (!installed("ffplay")) {
        GTEST_SKIP() << "ffplay is not installed";
    }
    ChildProcess moving;
    ASSERT_TRUE(moving.start({"ffplay", "-loglevel", "quiet", "-an", "-f", "lavfi", "-i",
                              "testsrc2=size=320x240:rate=60", "-left", "0", "-top", "0"}));
    auto stream = start(displayFilter(), settings(320, 240, QRectF(0, 0, 320, 240), 60));
    ASSERT_TRUE(stream);
    std::this_thread::sleep_for(1s); // the player's window comes up
    const int before = collector_->frames();
    std::this_thread::sleep_for(2s);
    const double rate = (collector_->frames() - before) / 2.0;
    EXPECT_TRUE(rate >= 59 && rate <= 61) << rate << " frames a second";
    EXPECT_EQ(collector_->latest()->duration, MediaTime(1, 60));
}

TEST_F(X11VideoSourceTest, aRegionIsRelativeToItsMonitorAndBlackBeyondTheScreen) {
    const auto second = std::ranges::find(content_.displays, QStringLiteral("VIRT-2"), &Display::name);
    if (second == content_.displays.end()) {
        GTEST_SKIP() << "needs the two monitors of scripts/virtual-desktop --dual";
    }
    // The right-most monitor: half of the window and of the region hang over the screen's edge.
    auto window = ownWindow({static_cast<int>(second->frame.right()) - 200, 200, 400, 300});
    auto stream = start(ContentFilter::display(*second, {}, {}),
                        settings(400, 300, QRectF(second->width - 200, 200, 400, 300)));
    ASSERT_TRUE(stream && waitForColour(100, 75, kRed)) << std::hex << colourAt(100, 75);
    EXPECT_EQ(colourAt(199, 299), kBlue);
    EXPECT_EQ(colourAt(200, 0), 0u);
    EXPECT_EQ(colourAt(399, 299), 0u);
}

TEST_F(X11VideoSourceTest, aWindowThatIsGoneHiddenOrClosedEndsTheCaptureWithAClearText) {
    const auto windowContent = [&](std::uint32_t id) {
        return windowFilter(id, QRectF(50, 50, 100, 80));
    };
    const auto failure = [&](std::uint32_t id) {
        FrameCollector sink;
        X11VideoSource source(windowContent(id), settings(100, 80));
        watch(source);
        return QCoro::waitFor(source.start(sink)).value_or(CaptureError{}).message;
    };
    EXPECT_TRUE(failure(0x1FFFFF).contains(QStringLiteral("BadWindow"))); // an id no client owns
    auto hiddenWindow = ownWindow({.x = 50, .y = 50, .width = 100, .height = 80, .map = false});
    EXPECT_EQ(failure(hiddenWindow->id()),
              QStringLiteral("The window to record is not on screen. Show it, then start again."));
    EXPECT_TRUE(ends_.empty());

    auto window = ownWindow({50, 50, 100, 80, kBlue});
    auto stream = start(windowContent(window->id()), settings(100, 80));
    ASSERT_TRUE(stream && waitForColour(50, 40, kBlue));
    window.reset();
    expectEnd(CaptureError::ended(QStringLiteral("The captured window was closed.")));
    stream->stop();
}

TEST_F(X11VideoSourceTest,
       withoutSharedMemoryOrDamageTheScreenIsReadWithGetImageAtEveryTickAndLosingTheServerEndsTheStream) {
    LogCapture log;
    // An X server of the test's own, which can go away; -noreset keeps it from restarting.
    ChildProcess server;
    ASSERT_TRUE(server.start({"Xvfb", "-displayfd", "1", "-screen", "0", "320x240x24", "-noreset",
                              "-nolisten", "tcp", "-extension", "MIT-SHM", "-extension", "DAMAGE"},
                             false));
    const std::string display = ":" + server.firstLine();
    ASSERT_GT(display.size(), 1u) << "Xvfb did not come up";
    std::unique_ptr<X11VideoSource> stream;
    {
        const DisplayOverride useServer(display);
        HelperWindow helper(20, 20, 200, 160, "pattern");
        Expected<ShareableContent, CaptureError> listed = await(service_->shareableContent());
        ASSERT_TRUE(listed && !listed.value().displays.empty());
        stream = start(ContentFilter::display(listed.value().displays.front(), {}, {}), settings(320, 240));
        ASSERT_TRUE(stream && waitForPattern(20, 20, 200, 160)) << std::hex << colourAt(70, 60);
        // Nothing tells what changed: every tick grabs a picture, as the log says once.
        const std::int64_t pictures = stream->statistics().delivered;
        std::this_thread::sleep_for(500ms);
        EXPECT_GE(stream->statistics().delivered - pictures, 10);
        EXPECT_EQ(stream->statistics().unchanged, 0);
        EXPECT_EQ(log.countStartingWith(QStringLiteral("[Capture] The X server has no DAMAGE extension")), 1);
    }
    server.kill(true);
    expectEnd(CaptureError::ended(QStringLiteral("The connection to the X server was lost.")));
}

TEST_F(X11VideoSourceTest, aSlowSinkMakesTicksPassAndGetsNothingAfterStop) {
    auto stream = start(displayFilter(), settings(320, 180), 150ms);
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitUntil([&] { return collector_->frames() >= 3; }));
    EXPECT_GT(stream->statistics().skippedLate, 0);
    stream->stop();
    const int afterStop = collector_->frames();
    EXPECT_FALSE(waitUntil([&] { return collector_->frames() > afterStop; }, 200ms));

    stream = start(displayFilter(), settings(320, 180));
    ASSERT_TRUE(stream);
    stream.reset(); // destroyed while running
    EXPECT_TRUE(ends_.empty());
}

TEST_F(X11VideoSourceTest, aStillScreenOrWindowIsGrabbedAgainOnlyWhenSomethingIsDrawnOrThePointerMoves) {
    movePointer(1500, 900);
    auto window = ownWindow({100, 100, 300, 200, kYellow});
    const Display& display = content_.displays.front();
    auto stream = start(displayFilter(), settings(display.width, display.height));
    ASSERT_TRUE(stream && waitForColour(250, 200, kYellow));
    expectStillUntilDrawn(*stream, 250, 200, [&] { window->paint(kBlue); });
    // The pointer moved over the still window shows in its new places, and leaves the old ones.
    for (const auto& [x, y] : {std::pair{160, 150}, std::pair{330, 250}}) {
        movePointer(x, y);
        EXPECT_TRUE(waitUntil([&] { return showsCursorAt(x, y, kBlue); }))
            << "no cursor at " << x << "," << y;
    }
    EXPECT_FALSE(showsCursorAt(160, 150, kBlue));
    stream->stop();

    auto other = ownWindow({500, 300, 200, 120, kYellow});
    stream = start(windowFilter(other->id(), QRectF(500, 300, 200, 120)), settings(200, 120));
    ASSERT_TRUE(stream && waitForColour(100, 60, kYellow));
    expectStillUntilDrawn(*stream, 100, 60, [&] { other->paint(kBlue); });
    other->paint(kGreen);
    EXPECT_TRUE(waitForColour(100, 60, kGreen));
}

TEST_F(X11VideoSourceTest, aPictureOfTheScreenShowsWhatItShowsAndBlackBeyondIt) {
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

// The screen's layout changes under a display capture (on a virtual desktop of its own).

using X11DisplayChange = X11Test;

TEST_F(X11DisplayChange, aDisplayIsFollowedWhenItChangesSizeAndBlackOnceBeyondTheScreen) {
    ASSERT_GE(content_.displays.size(), 2u);
    const Display& display = content_.displays.at(1);
    ASSERT_EQ(display.frame, QRectF(1920, 0, 1920, 1080));
    // Blue over the top-left quarter of 960×540, the display's size after the change.
    auto blue = ownWindow({1920, 0, 480, 270, kBlue});
    auto stream = start(ContentFilter::display(display, {}, {}), settings(display.width, display.height));
    ASSERT_TRUE(stream && waitForColour(100, 100, kBlue));
    EXPECT_NE(colourAt(700, 400), kBlue);

    const std::string name = display.name.toStdString();
    ASSERT_TRUE(runProgram({"xrandr", "--delmonitor", name}));
    ASSERT_TRUE(runProgram({"xrandr", "--setmonitor", name, "960/254x540/143+1920+0", "none"}));
    // Scaled pictures are filtered, so blue may come out a shade darker.
    EXPECT_TRUE(waitUntil([&] {
        const std::uint32_t rgb = colourAt(700, 400);
        return (rgb >> 16 & 0xFF) < 16 && (rgb >> 8 & 0xFF) < 16 && (rgb & 0xFF) > 240;
    })) << "the 960×540 display fills the 1920×1080 stream";
    EXPECT_NE(colourAt(1000, 600), kBlue);

    // The screen shrinks away from the display (xrandr reports Xvfb's refusal): black, frames go on.
    runProgram({"xrandr", "--fb", "1600x900"});
    EXPECT_TRUE(waitForColour(150, 150, 0x000000)) << "the display is now beyond the screen";
    const int framesThen = collector_->frames();
    EXPECT_TRUE(waitUntil([&] { return collector_->frames() > framesThen + 10; })) << "frames still arrive";
    EXPECT_TRUE(ends_.empty());
    stream->stop();
}

} // namespace
} // namespace backreel::test
