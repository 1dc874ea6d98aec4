#include "platform/x11/X11Geometry.h"

#include "platform/x11/FramePixels.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace backreel::x11 {
namespace {

using namespace std::chrono_literals;

TEST(X11Geometry, regionOffsetsByTheDisplayOrigin) {
    // A region of the second monitor is relative to that monitor's top-left.
    EXPECT_EQ(regionGrabRect(QRectF(1920, 0, 1280, 1024), QRectF(100, 50, 400, 300), 400, 300),
              (PixelRect{2020, 50, 400, 300}));
    // Fractional points round to whole pixels; the size is the output's, not the rounded rect's.
    EXPECT_EQ(regionGrabRect(QRectF(0, 0, 1920, 1080), QRectF(10.4, 20.6, 101.3, 99.9), 100, 100),
              (PixelRect{10, 21, 100, 100}));
    // A monitor left of or above the primary one has negative coordinates.
    EXPECT_EQ(regionGrabRect(QRectF(-1280, -200, 1280, 1024), QRectF(0, 0, 64, 32), 64, 32),
              (PixelRect{-1280, -200, 64, 32}));
}

TEST(X11Geometry, clippingKeepsThePartInsideTheScreenAndWhereItLands) {
    const PixelRect screen{0, 0, 3840, 1080};
    // Hanging over the right and bottom edges.
    EXPECT_EQ(clipGrab({3800, 1000, 100, 200}, screen), (ClippedGrab{{3800, 1000, 40, 80}, 0, 0}));
    // Negative coordinates: the visible part lands further right and down in the frame.
    EXPECT_EQ(clipGrab({-30, -10, 100, 50}, screen), (ClippedGrab{{0, 0, 70, 40}, 30, 10}));
    // Entirely outside: nothing to grab.
    EXPECT_TRUE(clipGrab({4000, 0, 10, 10}, screen).source.isEmpty());
}

TEST(X11Geometry, aspectFitLetterboxes) {
    // Wider source: bars above and below.
    EXPECT_EQ(aspectFitRect(400, 100, 200, 200), (PixelRect{0, 75, 200, 50}));
    // A one-pixel-off even size (301 wide into 300) keeps almost everything.
    EXPECT_EQ(aspectFitRect(301, 200, 300, 200), (PixelRect{0, 0, 300, 199}));
    // Extreme shapes keep at least a pixel.
    EXPECT_EQ(aspectFitRect(10000, 1, 100, 100), (PixelRect{0, 49, 100, 1}));
    EXPECT_TRUE(aspectFitRect(0, 10, 100, 100).isEmpty());
    EXPECT_TRUE(aspectFitRect(10, 10, 100, -1).isEmpty());
}

TEST(X11Geometry, mainMonitorIsPrimaryElseAtOriginElseFirst) {
    EXPECT_EQ(mainMonitorIndex({{false, 0, 0}, {true, 1920, 0}}), 1u);
    EXPECT_EQ(mainMonitorIndex({{false, 1920, 0}, {false, 0, 0}}), 1u);
    EXPECT_EQ(mainMonitorIndex({{false, 1920, 0}, {false, 3840, 0}}), 0u);
    EXPECT_EQ(mainMonitorIndex({}), std::nullopt);
}

TEST(X11Geometry, windowLayers) {
    EXPECT_EQ(windowLayerFor(WindowType::none, false, false, false), window_layer::kNormal);
    EXPECT_EQ(windowLayerFor(WindowType::normal, false, false, false), 0);
    EXPECT_EQ(windowLayerFor(WindowType::dock, false, false, false), window_layer::kDock);
    EXPECT_EQ(windowLayerFor(WindowType::desktop, false, false, false), window_layer::kDesktop);
    EXPECT_EQ(windowLayerFor(WindowType::other, false, false, false), window_layer::kOtherType);
    EXPECT_EQ(windowLayerFor(WindowType::normal, false, true, false), window_layer::kAbove);
    EXPECT_EQ(windowLayerFor(WindowType::normal, false, false, true), window_layer::kBelow);
    // Override-redirect wins over everything; a dock stays a dock whatever its state.
    EXPECT_EQ(windowLayerFor(WindowType::normal, true, false, false), window_layer::kOverrideRedirect);
    EXPECT_EQ(windowLayerFor(WindowType::dock, false, true, false), window_layer::kDock);
}

TEST(X11Geometry, onScreenNeedsViewableAndTheCurrentDesktop) {
    EXPECT_TRUE(windowIsOnScreen(true, std::nullopt, std::nullopt));
    EXPECT_FALSE(windowIsOnScreen(false, std::nullopt, std::nullopt));
    EXPECT_TRUE(windowIsOnScreen(true, 2u, 2u));
    EXPECT_FALSE(windowIsOnScreen(true, 1u, 2u));
    EXPECT_TRUE(windowIsOnScreen(true, 0xFFFFFFFFu, 2u)); // sticky: on every desktop
    EXPECT_TRUE(windowIsOnScreen(true, std::nullopt, 2u));
}

TEST(X11Geometry, pacingSkipsMissedTicksWithoutDrift) {
    const auto interval = 33'333'333ns;
    EXPECT_EQ(nextFrameIndex(0ns, interval), 1);
    EXPECT_EQ(nextFrameIndex(33'333'333ns, interval), 2);  // exactly on a tick: the next one
    EXPECT_EQ(nextFrameIndex(100'000'000ns, interval), 4); // two ticks missed: skipped, not queued
    // After an hour the schedule is still start + n * interval: no accumulated error.
    EXPECT_EQ(nextFrameIndex(3600s, interval), 108'000 + 1);
    EXPECT_EQ(nextFrameIndex(-5ns, interval), 0);
    EXPECT_EQ(frameIntervalOf(MediaTime(1, 30)), 33'333'333ns);
    EXPECT_EQ(frameIntervalOf(MediaTime::invalid()), 16'666'667ns);
}

TEST(X11Geometry, monotonicTimeIsAt90kHz) {
    EXPECT_EQ(monotonicMediaTime(2, 500'000'000), MediaTime(225'000, 90'000));
    const MediaTime first = monotonicNow();
    const MediaTime second = monotonicNow();
    EXPECT_LE(first, second);
}

// Pictures for the pixel tests: BGRA words, one per pixel.
struct Picture {
    Picture(std::int32_t w, std::int32_t h, std::uint32_t fill)
        : width(w)
        , height(h)
        , pixels(std::size_t(w * h), fill) {}
    PixelView view() {
        return {reinterpret_cast<std::byte*>(pixels.data()), width, height,
                static_cast<std::size_t>(width) * 4};
    }
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return pixels[std::size_t(y * width + x)]; }
    std::int32_t width;
    std::int32_t height;
    std::vector<std::uint32_t> pixels;
};

TEST(FramePixels, cursorBlendIsPremultipliedAndClipped) {
    Picture frame(4, 4, 0xFF0000FFu); // blue
    // Opaque white, transparent, half-transparent black (premultiplied: colour 0, alpha 128).
    const std::vector<std::uint32_t> cursor = {0xFFFFFFFFu, 0x00000000u, 0x80000000u, 0xFFFFFFFFu};
    blendPremultiplied(frame.view(), cursor.data(), 2, 2, -1, 1);    // the left column is off the picture
    EXPECT_EQ(frame.at(0, 1), 0xFF0000FFu);                          // transparent: untouched
    EXPECT_EQ(frame.at(0, 2), 0xFFFFFFFFu);                          // opaque: replaced
    EXPECT_EQ(frame.at(1, 1), 0xFF0000FFu);                          // outside the cursor
    blendPremultiplied(frame.view(), cursor.data() + 2, 1, 1, 3, 3); // half black over blue
    const std::uint32_t blended = frame.at(3, 3);
    EXPECT_NEAR(static_cast<int>(blended & 0xFF), 127, 1);         // blue halved
    EXPECT_EQ((blended >> 24) & 0xFF, 0xFFu);                      // still opaque
    blendPremultiplied(frame.view(), cursor.data(), 2, 2, 10, 10); // entirely outside: nothing
    EXPECT_EQ(frame.at(3, 3), blended);
}

} // namespace
} // namespace backreel::x11
