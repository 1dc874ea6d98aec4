// Display captures while the screen's layout changes under them. These tests change the layout of
// their X server, so they run on a virtual desktop of their own (see tests/CMakeLists.txt).

#include "X11CaptureStreamFixture.h"

namespace backreel::test {
namespace {

class X11DisplayChange : public X11CaptureStreamTest {
protected:
    static int xrandr(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "xrandr");
        SpawnedProcess process;
        return process.start(arguments) ? process.wait() : -1;
    }

    const Display& secondDisplay() const { return content_.displays.at(1); }

    static bool isNearlyBlue(std::uint32_t rgb) {
        return (rgb >> 16 & 0xFF) < 16 && (rgb >> 8 & 0xFF) < 16 && (rgb & 0xFF) > 240;
    }
};

TEST_F(X11DisplayChange, aDisplayThatChangesSizeIsFollowedAndScaledIntoTheStream) {
    ASSERT_GE(content_.displays.size(), 2u);
    const Display& display = secondDisplay();
    ASSERT_EQ(display.frame, QRectF(1920, 0, 1920, 1080));
    // Blue over the top-left quarter of 960×540, the display's size after the change.
    auto blue = ownWindow(windowAt(1920, 0, 480, 270).solid(kBlue));
    auto stream = start(ContentFilter::display(display, {}, {}), configuration(1920, 1080));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(100, 100, kBlue));
    EXPECT_NE(colourAt(700, 400), kBlue);

    const std::string name = display.name.toStdString();
    ASSERT_EQ(xrandr({"--delmonitor", name}), 0);
    ASSERT_EQ(xrandr({"--setmonitor", name, "960/254x540/143+1920+0", "none"}), 0);
    // Scaled pictures are filtered, so blue may come out a shade darker.
    EXPECT_TRUE(waitUntil([&] { return isNearlyBlue(colourAt(700, 400)); }, 3000ms))
        << "the 960×540 display fills the 1920×1080 stream";
    EXPECT_NE(colourAt(1000, 600), kBlue);
    EXPECT_TRUE(delegate_.errors().empty());
    EXPECT_FALSE(stopAndWait(*stream));
}

TEST_F(X11DisplayChange, aScreenThatShrinksAwayFromTheDisplayLeavesItBlackWithoutEndingTheStream) {
    ASSERT_GE(content_.displays.size(), 2u);
    const Display& display = secondDisplay();
    const int left = static_cast<int>(display.frame.x());
    auto blue = ownWindow(windowAt(left + 100, 100, 200, 200).solid(kBlue));
    auto stream =
        start(ContentFilter::display(display, {}, {}), configuration(display.width, display.height));
    ASSERT_TRUE(stream);
    ASSERT_TRUE(waitForColour(150, 150, kBlue));

    // Xvfb shrinks its screen but refuses the output's mode, so xrandr reports a failure.
    xrandr({"--fb", std::to_string(left - 320) + "x900"});
    EXPECT_TRUE(waitForColour(150, 150, 0x000000)) << "the display is now beyond the screen";
    const int framesThen = collector_->frames();
    EXPECT_TRUE(waitUntil([&] { return collector_->frames() > framesThen + 10; })) << "frames still arrive";
    EXPECT_TRUE(delegate_.errors().empty());
    EXPECT_FALSE(stopAndWait(*stream));
}

} // namespace
} // namespace backreel::test
