#include "platform/x11/X11Geometry.h"

#include <gtest/gtest.h>
#include <vector>

namespace backreel::x11 {

using namespace std::chrono_literals;

// The cases the tests on the X server do not reach.
TEST(X11Geometry, grabRectanglesAtTheEdgesAndTicksWithoutDrift) {
    // Fractional points round to whole pixels; the size is the output's, not the rounded rect's.
    EXPECT_EQ(regionGrabRect(QRectF(0, 0, 1920, 1080), QRectF(10.4, 20.6, 101.3, 99.9), 100, 100),
              (PixelRect{10, 21, 100, 100}));
    // A monitor left of or above the primary one has negative coordinates.
    EXPECT_EQ(regionGrabRect(QRectF(-1280, -200, 1280, 1024), QRectF(0, 0, 64, 32), 64, 32),
              (PixelRect{-1280, -200, 64, 32}));
    EXPECT_EQ(clipGrab({-30, -10, 100, 50}, {0, 0, 3840, 1080}), (ClippedGrab{{0, 0, 70, 40}, 30, 10}));
    EXPECT_TRUE(clipGrab({4000, 0, 10, 10}, {0, 0, 3840, 1080}).source.isEmpty());
    // A one-pixel-off size keeps almost everything; extreme shapes keep at least a pixel.
    EXPECT_EQ(aspectFitRect(301, 200, 300, 200), (PixelRect{0, 0, 300, 199}));
    EXPECT_EQ(aspectFitRect(10000, 1, 100, 100), (PixelRect{0, 49, 100, 1}));
    EXPECT_TRUE(aspectFitRect(0, 10, 100, 100).isEmpty());

    const auto interval = 33'333'333ns;
    const std::pair<std::chrono::nanoseconds, std::int64_t> ticks[] = {
        {33'333'333ns, 2},    // exactly on a tick: the next one
        {100'000'000ns, 4},   // two ticks missed: skipped, not queued
        {3600s, 108'000 + 1}, // after an hour still start + n * interval: no accumulated error
        {-5ns, 0}};
    for (const auto& [elapsed, next] : ticks) {
        EXPECT_EQ(nextFrameIndex(elapsed, interval), next) << elapsed.count();
    }
    EXPECT_EQ(frameIntervalOf(MediaTime::invalid()), 16'666'667ns);
    EXPECT_EQ(monotonicMediaTime(2, 500'000'000), MediaTime(225'000, 90'000));

    // Without a primary monitor, the one at the origin, else the first.
    EXPECT_EQ(mainMonitorIndex({{false, 1920, 0}, {false, 0, 0}}), 1u);
    EXPECT_EQ(mainMonitorIndex({{false, 1920, 0}, {false, 3840, 0}}), 0u);
    EXPECT_EQ(mainMonitorIndex({}), std::nullopt);
    // Mapped, and on the current desktop (of two), on every one (sticky), or where there are none.
    const std::tuple<bool, std::optional<std::uint32_t>, std::optional<std::uint32_t>, bool> windows[] = {
        {false, std::nullopt, std::nullopt, false},
        {true, 1u, 2u, false},
        {true, 2u, 2u, true},
        {true, 0xFFFFFFFFu, 2u, true},
        {true, std::nullopt, 2u, true}};
    for (const auto& [mapped, desktop, current, onScreen] : windows) {
        EXPECT_EQ(windowIsOnScreen(mapped, desktop, current), onScreen)
            << mapped << " " << desktop.value_or(0) << " " << current.value_or(0);
    }

    std::vector<std::uint32_t> frame(16, 0xFF0000FFu); // 4×4 BGRA words, blue
    const PixelView view{reinterpret_cast<std::byte*>(frame.data()), 4, 4, 16};
    const auto at = [&](std::size_t x, std::size_t y) {
        return frame[y * 4 + x];
    };
    // Opaque white, transparent, half-transparent black (premultiplied: colour 0, alpha 128).
    const std::vector<std::uint32_t> cursor = {0xFFFFFFFFu, 0x00000000u, 0x80000000u, 0xFFFFFFFFu};
    blendPremultiplied(view, cursor.data(), 2, 2, -1, 1);    // the left column is off the picture
    EXPECT_EQ(at(0, 1), 0xFF0000FFu);                        // transparent: untouched
    EXPECT_EQ(at(0, 2), 0xFFFFFFFFu);                        // opaque: replaced
    EXPECT_EQ(at(1, 1), 0xFF0000FFu);                        // outside the cursor
    blendPremultiplied(view, cursor.data() + 2, 1, 1, 3, 3); // half black over blue
    const std::uint32_t blended = at(3, 3);
    EXPECT_NEAR(static_cast<int>(blended & 0xFF), 127, 1); // blue halved
    EXPECT_EQ((blended >> 24) & 0xFF, 0xFFu);              // still opaque
    blendPremultiplied(view, cursor.data(), 2, 2, 10, 10); // entirely outside: nothing
    EXPECT_EQ(at(3, 3), blended);
}

} // namespace backreel::x11
