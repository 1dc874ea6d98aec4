// A display capture while the screen's layout changes under it. This changes the layout of its X
// server, so it runs on a virtual desktop of its own (see tests/CMakeLists.txt).

#include "X11TestSupport.h"

namespace backreel::test {
namespace {

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

    // The screen shrinks away from the display (Xvfb refuses the output's mode, so xrandr reports
    // a failure): black, and the frames go on.
    runProgram({"xrandr", "--fb", "1600x900"});
    EXPECT_TRUE(waitForColour(150, 150, 0x000000)) << "the display is now beyond the screen";
    const int framesThen = collector_->frames();
    EXPECT_TRUE(waitUntil([&] { return collector_->frames() > framesThen + 10; })) << "frames still arrive";
    EXPECT_TRUE(ends_.empty());
    stream->stop();
}

} // namespace
} // namespace backreel::test
