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
    // Entirely inside: unchanged, no offset.
    EXPECT_EQ(clipGrab({100, 100, 50, 40}, screen), (ClippedGrab{{100, 100, 50, 40}, 0, 0}));
    // Hanging over the right and bottom edges.
    EXPECT_EQ(clipGrab({3800, 1000, 100, 200}, screen), (ClippedGrab{{3800, 1000, 40, 80}, 0, 0}));
    // Negative coordinates: the visible part lands further right and down in the frame.
    EXPECT_EQ(clipGrab({-30, -10, 100, 50}, screen), (ClippedGrab{{0, 0, 70, 40}, 30, 10}));
    // Entirely outside: nothing to grab.
    EXPECT_TRUE(clipGrab({4000, 0, 10, 10}, screen).source.isEmpty());
    EXPECT_TRUE(clipGrab({0, 0, 0, 10}, screen).source.isEmpty());
}

TEST(X11Geometry, intersectionAndPixelRects) {
    EXPECT_EQ(intersected({0, 0, 10, 10}, {5, 5, 10, 10}), (PixelRect{5, 5, 5, 5}));
    EXPECT_FALSE(intersects({0, 0, 10, 10}, {10, 0, 10, 10})); // touching edges do not overlap
    EXPECT_EQ(toPixelRect(QRectF(0.5, 1.4, 10.2, 9.5)), (PixelRect{1, 1, 10, 10}));
}

TEST(X11Geometry, aspectFitLetterboxes) {
    // Same aspect: the whole destination.
    EXPECT_EQ(aspectFitRect(1920, 1080, 960, 540), (PixelRect{0, 0, 960, 540}));
    // Wider source: bars above and below.
    EXPECT_EQ(aspectFitRect(400, 100, 200, 200), (PixelRect{0, 75, 200, 50}));
    // Taller source: bars left and right.
    EXPECT_EQ(aspectFitRect(100, 400, 200, 200), (PixelRect{75, 0, 50, 200}));
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
    EXPECT_EQ(windowLayerFor(WindowType::dialog, false, false, false), 0);
    EXPECT_EQ(windowLayerFor(WindowType::utility, false, false, false), 0);
    EXPECT_EQ(windowLayerFor(WindowType::dock, false, false, false), window_layer::kDock);
    EXPECT_EQ(windowLayerFor(WindowType::desktop, false, false, false), window_layer::kDesktop);
    EXPECT_EQ(windowLayerFor(WindowType::other, false, false, false), window_layer::kOtherType);
    EXPECT_EQ(windowLayerFor(WindowType::normal, false, true, false), window_layer::kAbove);
    EXPECT_EQ(windowLayerFor(WindowType::normal, false, false, true), window_layer::kBelow);
    // Override-redirect wins over everything; a dock stays a dock whatever its state.
    EXPECT_EQ(windowLayerFor(WindowType::normal, true, false, false), window_layer::kOverrideRedirect);
    EXPECT_EQ(windowLayerFor(WindowType::dock, false, true, false), window_layer::kDock);
    // All special layers are distinct from each other and from normal windows.
    const std::vector<int> layers = {
        window_layer::kDesktop,         window_layer::kBelow, window_layer::kNormal,
        window_layer::kAbove,           window_layer::kDock,  window_layer::kOtherType,
        window_layer::kOverrideRedirect};
    for (std::size_t i = 0; i < layers.size(); ++i) {
        for (std::size_t k = i + 1; k < layers.size(); ++k) {
            EXPECT_NE(layers[i], layers[k]);
        }
    }
}

TEST(X11Geometry, onScreenNeedsViewableAndTheCurrentDesktop) {
    EXPECT_TRUE(windowIsOnScreen(true, std::nullopt, std::nullopt));
    EXPECT_FALSE(windowIsOnScreen(false, std::nullopt, std::nullopt));
    EXPECT_TRUE(windowIsOnScreen(true, 2u, 2u));
    EXPECT_FALSE(windowIsOnScreen(true, 1u, 2u));
    EXPECT_TRUE(windowIsOnScreen(true, 0xFFFFFFFFu, 2u)); // sticky: on every desktop
    EXPECT_TRUE(windowIsOnScreen(true, std::nullopt, 2u));
    EXPECT_FALSE(windowIsOnScreen(false, 2u, 2u));
}

TEST(X11Geometry, pacingSkipsMissedTicksWithoutDrift) {
    const auto interval = 33'333'333ns;
    EXPECT_EQ(nextFrameIndex(0ns, interval), 1);
    EXPECT_EQ(nextFrameIndex(33'333'332ns, interval), 1);
    EXPECT_EQ(nextFrameIndex(33'333'333ns, interval), 2);  // exactly on a tick: the next one
    EXPECT_EQ(nextFrameIndex(100'000'000ns, interval), 4); // two ticks missed: skipped, not queued
    // After an hour the schedule is still start + n * interval: no accumulated error.
    EXPECT_EQ(nextFrameIndex(3600s, interval), 108'000 + 1);
    EXPECT_EQ(nextFrameIndex(-5ns, interval), 0);
    EXPECT_EQ(frameIntervalOf(MediaTime(1, 30)), 33'333'333ns);
    EXPECT_EQ(frameIntervalOf(MediaTime::invalid()), 16'666'667ns);
    EXPECT_EQ(frameIntervalOf(MediaTime(0, 30)), 16'666'667ns);
}

TEST(X11Geometry, monotonicTimeIsAt90kHz) {
    EXPECT_EQ(monotonicMediaTime(2, 500'000'000), MediaTime(225'000, 90'000));
    EXPECT_EQ(monotonicMediaTime(2, 500'000'000).timeScale(), 90'000);
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

constexpr std::uint32_t kBlack = 0xFF000000u;

TEST(FramePixels, scaleToFitLetterboxesWithBlack) {
    Picture wide(40, 10, 0xFF00FF00u);
    Picture out(20, 20, 0x12345678u);
    ASSERT_TRUE(scaleToFit(wide.view(), out.view()));
    // 40x10 into 20x20: 20x5 centred, rows 7...11.
    EXPECT_EQ(out.at(10, 0), kBlack);
    EXPECT_EQ(out.at(10, 6), kBlack);
    EXPECT_EQ(out.at(10, 7), 0xFF00FF00u);
    EXPECT_EQ(out.at(0, 11), 0xFF00FF00u);
    EXPECT_EQ(out.at(10, 12), kBlack);
    EXPECT_EQ(out.at(19, 19), kBlack);
}

TEST(FramePixels, copyAndBlackFillOutsideMakeAClippedRegion) {
    Picture grabbed(4, 3, 0xFFFFFFFFu);
    Picture frame(10, 10, 0x11111111u);
    fillBlackOutside(frame.view(), {6, 7, 4, 3});
    copyPixels(grabbed.view(), frame.view(), 6, 7);
    EXPECT_EQ(frame.at(0, 0), kBlack);
    EXPECT_EQ(frame.at(5, 8), kBlack);
    EXPECT_EQ(frame.at(6, 7), 0xFFFFFFFFu);
    EXPECT_EQ(frame.at(9, 9), 0xFFFFFFFFu);
    // A copy hanging over the edge is clipped, not written past the end.
    copyPixels(grabbed.view(), frame.view(), 8, 8);
    EXPECT_EQ(frame.at(9, 9), 0xFFFFFFFFu);
}

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
