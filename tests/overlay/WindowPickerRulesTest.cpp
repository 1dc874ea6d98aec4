#include "overlay/WindowPickerRules.h"

#include "overlay/TargetSelection.h"

#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::overlay;

namespace {

Window window(std::uint32_t id, std::optional<QString> title, std::optional<QString> app, QRectF frame,
              int layer = 0, bool onScreen = true, const QString& bundle = {}) {
    std::optional<RunningApplication> owner;
    if (app) {
        owner = RunningApplication{*app, bundle, 100};
    }
    return Window{id, std::move(title), std::move(owner), frame, layer, onScreen};
}

WindowServerEntry entry(std::uint32_t number, QRectF bounds, int layer = 0) {
    return WindowServerEntry{number, layer, bounds, 0};
}

std::vector<std::uint32_t> ids(const std::vector<Window>& windows) {
    std::vector<std::uint32_t> result;
    for (const Window& each : windows) {
        result.push_back(each.windowID);
    }
    return result;
}

const QRectF kFrame(0, 0, 300, 200);

} // namespace

// Visible windows of the normal layer, larger than a point each way, of other applications than
// ours (an application without an identifier of its own is compared as the empty one).
TEST(WindowPickerRules, WhichWindowsArePickable) {
    const std::vector<Window> windows{
        window(1, QStringLiteral("Editor"), QStringLiteral("editor"), kFrame, 0, true,
               QStringLiteral("editor")),
        window(2, QStringLiteral("Hidden"), QStringLiteral("editor"), kFrame, 0, false),
        window(3, QStringLiteral("Dock"), QStringLiteral("panel"), kFrame, 20),
        window(4, QStringLiteral("Sliver"), QStringLiteral("editor"), QRectF(0, 0, 1, 300)),
        window(5, QStringLiteral("Flat"), QStringLiteral("editor"), QRectF(0, 0, 300, 1)),
        window(6, QStringLiteral("Ours"), QStringLiteral("backreel"), kFrame, 0, true, kBundleIdentifier),
        window(7, std::nullopt, std::nullopt, QRectF(0, 0, 1.5, 1.5)),
    };
    EXPECT_EQ(ids(pickableWindows(windows, kBundleIdentifier)), (std::vector<std::uint32_t>{1, 7}));
    EXPECT_EQ(ids(pickableWindows(windows, QString())), (std::vector<std::uint32_t>{1, 6, 7}));
}

// The log is the only place these lines go, in this form.
TEST(WindowPickerRules, TheCandidateListAndThePickAreLoggedWithTheirFallbacks) {
    const QStringList lines = candidateListLog({
        window(42, QStringLiteral("Notes"), QStringLiteral("notes"), QRectF(10.9, 20.2, 300.7, 200.9)),
        window(7, std::nullopt, std::nullopt, QRectF(-5.5, 0, 100, 0), 3, false),
        window(9, QStringLiteral("100%1 done"), QStringLiteral("tall"), QRectF(0, 0, 100, 300)),
    });
    EXPECT_EQ(
        lines,
        (QStringList{
            QStringLiteral("=== Window picker: 3 candidate windows ==="),
            QStringLiteral(
                "  [42] notes — 'Notes' | 300×200 @ (10,20) ratio=1.50 layer=0 onScreen=true [landscape]"),
            QStringLiteral("  [7] (unknown app) — '(no title)' | 100×0 @ (-5,0) ratio=0.00 layer=3 "
                           "onScreen=false [landscape]"),
            QStringLiteral("  [9] tall — '100%1 done' | 100×300 @ (0,0) ratio=0.33 layer=0 "
                           "onScreen=true [PORTRAIT ⚠️]"),
            QStringLiteral("=== End window list ==="),
        }));
    const Window named =
        window(42, QStringLiteral("Notes"), QStringLiteral("notes"), QRectF(10, 20, 300.9, 200.2));
    EXPECT_EQ(pickedLine(named), QStringLiteral("Picked: [42] 'Notes' by 'notes' | 300×200"));
    EXPECT_EQ(pickInfo(named),
              (WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("notes"), named.frame, 42, true}));
    EXPECT_EQ(windowLabelText(named), QStringLiteral("notes  –  Notes"));
    const Window anonymous = window(7, std::nullopt, std::nullopt, QRectF(0, 0, 50, 60), 0, false);
    EXPECT_EQ(pickedLine(anonymous), QStringLiteral("Picked: [7] '' by '?' | 50×60"));
    EXPECT_EQ(pickInfo(anonymous),
              (WindowPickInfo{QString(), QStringLiteral("Unknown"), anonymous.frame, 7, false}));
    EXPECT_EQ(windowLabelText(anonymous), QStringLiteral("Unknown"));
    EXPECT_EQ(windowLabelText(window(8, QString(), QStringLiteral("term"), kFrame)), QStringLiteral("term"));
}

// The hit is the front-most normal window under the point, seen through docks and overlays; the
// hover changes, and the views are redrawn, only when the hovered candidate does.
TEST(WindowPickerRules, HitTestAndHoverChanges) {
    const std::vector<WindowServerEntry> list{
        entry(90, QRectF(0, 0, 3840, 1080), 101), entry(80, QRectF(0, 500, 1920, 40), 20),
        entry(1, QRectF(100, 100, 200, 200)), entry(2, QRectF(150, 150, 400, 400))};
    EXPECT_EQ(hitWindow(list, QPointF(299.5, 299.5))->windowNumber, 1u);
    EXPECT_EQ(hitWindow(list, QPointF(300, 300))->windowNumber, 2u);
    EXPECT_EQ(hitWindow(list, QPointF(500, 520))->windowNumber, 2u);
    EXPECT_FALSE(hitWindow(list, QPointF(1000, 1060)));

    const Window editor =
        window(1, QStringLiteral("Editor"), QStringLiteral("editor"), QRectF(100, 100, 200, 200));
    const Window terminal =
        window(2, QStringLiteral("Terminal"), QStringLiteral("term"), QRectF(150, 150, 400, 400));
    const std::vector<Window> candidates{editor, terminal};
    const HoverChange first = hoverChange(list[2], candidates, std::nullopt);
    ASSERT_EQ(first.kind, HoverChange::Kind::hovered);
    EXPECT_EQ(first.hover->window, editor);
    EXPECT_EQ(first.hover->bounds, QRectF(100, 100, 200, 200));
    const Hover current = *first.hover;
    // The same window again, even where it has moved since.
    EXPECT_EQ(hoverChange(entry(1, QRectF(120, 100, 200, 200)), candidates, current).kind,
              HoverChange::Kind::unchanged);
    EXPECT_EQ(hoverChange(list[3], candidates, current).hover->window, terminal);
    // A window in front that is no candidate (ours, say) hides the candidates behind it.
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
