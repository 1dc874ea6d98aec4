#include "overlay/WindowPickerRules.h"

#include "overlay/TargetSelection.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::overlay;

namespace {

const QRectF kFrame(0, 0, 300, 200);

Window window(std::uint32_t id, QRectF frame = kFrame, int layer = 0, bool onScreen = true,
              QString bundle = {}) {
    RunningApplication app{QStringLiteral("app"), std::move(bundle), 1};
    return Window{id, QStringLiteral("Window"), std::move(app), frame, layer, onScreen};
}

WindowServerEntry entry(std::uint32_t number, QRectF bounds) {
    return WindowServerEntry{number, 0, bounds, 0};
}

std::vector<std::uint32_t> ids(const std::vector<Window>& windows) {
    std::vector<std::uint32_t> result(windows.size());
    std::ranges::transform(windows, result.begin(), &Window::windowID);
    return result;
}

} // namespace

// Visible windows of the normal layer, larger than a point each way, of other applications than
// ours (an application without an identifier of its own is compared as the empty one).
TEST(WindowPickerRules, WhichWindowsArePickable) {
    const std::vector<Window> windows{window(1, kFrame, 0, true, QStringLiteral("editor")),
                                      window(2, kFrame, 0, false),
                                      window(3, kFrame, 20),
                                      window(4, QRectF(0, 0, 1, 300)),
                                      window(5, QRectF(0, 0, 300, 1)),
                                      window(6, kFrame, 0, true, kApplicationID),
                                      Window{7, std::nullopt, std::nullopt, QRectF(0, 0, 1.5, 1.5), 0, true}};
    EXPECT_EQ(ids(pickableWindows(windows, kApplicationID)), (std::vector<std::uint32_t>{1, 7}));
    EXPECT_EQ(ids(pickableWindows(windows, QString())), (std::vector<std::uint32_t>{1, 6, 7}));
}

// What the overlay's label and the main window show of a picked window, with their fallbacks.
TEST(WindowPickerRules, LabelAndPickInfoWithTheirFallbacks) {
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
}

// The hover changes, and the views are redrawn, only when the hovered candidate does; a window in
// front that is no candidate (ours, say) hides the candidates behind it. Which window is hit is
// checked on the virtual desktop.
TEST(WindowPickerRules, HoverChanges) {
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
}

TEST(TargetSelection, TheDisplayOfAScreenIsFoundByNameElseTheFirstOne) {
    const std::vector<Display> displays{
        Display{11, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-1")},
        Display{12, 1920, 1080, QRectF(1920, 0, 1920, 1080), QStringLiteral("VIRT-2")}};
    EXPECT_EQ(displayForScreen(displays, QStringLiteral("VIRT-2"))->displayID, 12u);
    EXPECT_EQ(displayForScreen(displays, QStringLiteral("HDMI-1"))->displayID, 11u);
    EXPECT_FALSE(displayForScreen({}, QStringLiteral("VIRT-1")));
}
