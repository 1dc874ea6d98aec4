#include "overlay/OverlayGeometry.h"
#include "overlay/TargetSelection.h"
#include "overlay/WindowPickerRules.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::overlay;

const QRectF kFrame(0, 0, 300, 200);

static Window window(std::uint32_t id, QRectF frame = kFrame, int layer = 0, bool onScreen = true,
                     QString bundle = {}) {
    RunningApplication app{QStringLiteral("app"), std::move(bundle), 1};
    return Window{id, QStringLiteral("Window"), std::move(app), frame, layer, onScreen};
}

static WindowServerEntry entry(std::uint32_t number, QRectF bounds) {
    return WindowServerEntry{number, 0, bounds, 0};
}

static std::vector<std::uint32_t> ids(const std::vector<Window>& windows) {
    std::vector<std::uint32_t> result(windows.size());
    std::ranges::transform(windows, result.begin(), &Window::windowID);
    return result;
}

const QRectF kScreen(0, 0, 1920, 1080);

// Visible windows of the normal layer, larger than a point each way, of other applications than ours.
TEST(OverlayRules, PickableWindowsLabelsHoverSelectionsAndLabelPlaces) {
    const std::vector<Window> windows{window(1, kFrame, 0, true, QStringLiteral("editor")),
                                      window(2, kFrame, 0, false),
                                      window(3, kFrame, 20),
                                      window(4, QRectF(0, 0, 1, 300)),
                                      window(5, QRectF(0, 0, 300, 1)),
                                      window(6, kFrame, 0, true, kApplicationID),
                                      Window{7, std::nullopt, std::nullopt, QRectF(0, 0, 1.5, 1.5), 0, true}};
    EXPECT_EQ(ids(pickableWindows(windows, kApplicationID)), (std::vector<std::uint32_t>{1, 7}));
    EXPECT_EQ(ids(pickableWindows(windows, QString())), (std::vector<std::uint32_t>{1, 6, 7}));

    const Window named{
        42,  QStringLiteral("Notes"), RunningApplication{QStringLiteral("notes"), QString(), 1}, kFrame, 0,
        true};
    EXPECT_EQ(pickInfo(named),
              (WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("notes"), kFrame, 42, true}));
    EXPECT_EQ(windowLabelText(named), QStringLiteral("notes  –  Notes"));
    const Window anonymous{7, std::nullopt, std::nullopt, kFrame, 0, false};
    EXPECT_EQ(pickInfo(anonymous), (WindowPickInfo{QString(), QStringLiteral("Unknown"), kFrame, 7, false}));
    EXPECT_EQ(windowLabelText(anonymous), QStringLiteral("Unknown"));
    EXPECT_EQ(windowLabelText(Window{8, QString(), named.owningApplication, kFrame, 0, true}),
              QStringLiteral("notes"));

    // The hover changes only when the hovered candidate does; a window in front that is none hides them.
    // A screen's display is found by its name, else the first one.
    const std::vector<Window> candidates{window(1, QRectF(100, 100, 200, 200)),
                                         window(2, QRectF(150, 150, 400, 400))};
    const HoverChange first = hoverChange(entry(1, QRectF(100, 100, 200, 200)), candidates, std::nullopt);
    ASSERT_EQ(first.kind, HoverChange::Kind::hovered);
    EXPECT_EQ(first.hover->window, candidates[0]);
    EXPECT_EQ(first.hover->bounds, QRectF(100, 100, 200, 200));
    const Hover current = *first.hover;
    // The same window again, even where it has moved since:
    EXPECT_EQ(hoverChange(entry(1, QRectF(120, 100, 200, 200)), candidates, current).kind,
              HoverChange::Kind::unchanged);
    EXPECT_EQ(hoverChange(entry(2, QRectF(150, 150, 400, 400)), candidates, current).hover->window,
              candidates[1]);
    EXPECT_EQ(hoverChange(entry(99, kFrame), candidates, current).kind, HoverChange::Kind::cleared);
    EXPECT_EQ(hoverChange(std::nullopt, candidates, current).kind, HoverChange::Kind::cleared);
    EXPECT_EQ(hoverChange(entry(99, kFrame), candidates, std::nullopt).kind, HoverChange::Kind::unchanged);

    const std::vector<Display> displays{
        Display{11, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-1")},
        Display{12, 1920, 1080, QRectF(1920, 0, 1920, 1080), QStringLiteral("VIRT-2")}};
    EXPECT_EQ(displayForScreen(displays, QStringLiteral("VIRT-2"))->displayID, 12u);
    EXPECT_EQ(displayForScreen(displays, QStringLiteral("HDMI-1"))->displayID, 11u);
    EXPECT_FALSE(displayForScreen({}, QStringLiteral("VIRT-1")));

    // A selection is larger than ten points each way, reaches the display in device pixels, and is
    // labelled in whole points.
    EXPECT_TRUE(isLargeEnoughSelection(QRectF(0, 0, 10.5, 11)));
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 10, 200)) ||
                 isLargeEnoughSelection(QRectF(0, 0, 200, 10)));
    EXPECT_EQ(viewRectToDisplay(QRectF(10, 10, 10.5, 11), 1.5), QRectF(15, 15, 15.75, 16.5));
    EXPECT_EQ(sizeLabelText(QRectF(0, 0, 1280.9, 720.2)), QStringLiteral("1280 × 720"));

    // Over a still picture the selection is in the display's units, each way by its own factor; the
    // picture goes on the screen under the display's middle.
    EXPECT_EQ(viewRectOnPicture(QRectF(480, 300, 480, 480), QSizeF(1920, 1080), QSizeF(1280, 720)),
              QRectF(320, 200, 320, 320));
    EXPECT_EQ(viewRectOnPicture(QRectF(100, 100, 2000, 50), QSizeF(1000, 500), QSizeF(2000, 2000)),
              QRectF(200, 400, 1800, 200));
    EXPECT_TRUE(viewRectOnPicture(QRectF(1, 1, 5, 5), QSizeF(), QSizeF(10, 10)).isEmpty());

    const std::vector<QRectF> screens{kScreen, QRectF(1920, 0, 1280, 1024)};
    EXPECT_EQ(screenShowing(screens, QRectF(1920, 0, 1600, 1200)), 1u); // in pixels, not points
    EXPECT_EQ(screenShowing(screens, QRectF(0, 0, 1280, 720)), 0u);
    EXPECT_EQ(screenShowing(screens, QRectF(4000, 0, 100, 100)), std::nullopt);

    const auto place = [&](QRectF target, HorizontalFit fit = HorizontalFit::keepInside) {
        return labelPillRect(target, QSizeF(120, 20), kScreen, fit);
    };
    EXPECT_GT(place(QRectF(400, 300, 200, 100)).top(), 400);
    EXPECT_EQ(place(QRectF(400, 300, 200, 100)).center().x(), 500);
    EXPECT_LT(place(QRectF(400, 300, 200, 770)).bottom(), 300);
    EXPECT_LT(place(QRectF(400, 900, 200, 400)).bottom(), 900);
    for (const QRectF target : {QRectF(-300, 300, 400, 100), QRectF(1850, 300, 400, 100)}) {
        EXPECT_TRUE(kScreen.contains(place(target)));
        EXPECT_FALSE(kScreen.contains(place(target, HorizontalFit::free)));
    }
}
