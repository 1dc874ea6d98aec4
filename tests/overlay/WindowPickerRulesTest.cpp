#include "overlay/WindowPickerRules.h"

#include "overlay/TargetSelection.h"

#include <gtest/gtest.h>

using namespace backreel;
using namespace backreel::overlay;

namespace {

RunningApplication application(const QString& name, const QString& bundle = {}) {
    return RunningApplication{name, bundle, 100};
}

Window window(std::uint32_t id, std::optional<QString> title, std::optional<RunningApplication> app,
              QRectF frame, int layer = 0, bool onScreen = true) {
    return Window{id, std::move(title), std::move(app), frame, layer, onScreen};
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

} // namespace

TEST(WindowPickerRules, OnlyVisibleNormalWindowsOfOtherApplicationsLargerThanAPointArePickable) {
    const QRectF frame(0, 0, 300, 200);
    const std::vector<Window> windows{
        window(1, QStringLiteral("Editor"), application(QStringLiteral("editor"), QStringLiteral("editor")),
               frame),
        window(2, QStringLiteral("Hidden"), application(QStringLiteral("editor")), frame, 0, false),
        window(3, QStringLiteral("Dock"), application(QStringLiteral("panel")), frame, 20),
        window(4, QStringLiteral("Sliver"), application(QStringLiteral("editor")), QRectF(0, 0, 1, 300)),
        window(5, QStringLiteral("Flat"), application(QStringLiteral("editor")), QRectF(0, 0, 300, 1)),
        window(6, QStringLiteral("Ours"), application(QStringLiteral("backreel"), kBundleIdentifier), frame),
        window(7, std::nullopt, std::nullopt, QRectF(0, 0, 1.5, 1.5)),
        window(8, QStringLiteral("Terminal"), application(QStringLiteral("term")), frame),
    };
    EXPECT_EQ(ids(pickableWindows(windows, kBundleIdentifier)), (std::vector<std::uint32_t>{1, 7, 8}));
    // An application without an identifier of its own is compared as the empty one.
    EXPECT_EQ(ids(pickableWindows(windows, QString())), (std::vector<std::uint32_t>{1, 6, 7}));
}

TEST(WindowPickerRules, TheListLogCountsAndDescribesEveryWindowBeforeFiltering) {
    const std::vector<Window> windows{
        window(42, QStringLiteral("Notes"), application(QStringLiteral("notes")),
               QRectF(10.9, 20.2, 300.7, 200.9)),
        window(7, std::nullopt, std::nullopt, QRectF(-5.5, 0, 100, 0), 3, false),
        window(9, QString(), application(QStringLiteral("tall")), QRectF(0, 0, 100, 300)),
        window(11, QStringLiteral("100%1 done %2"), application(QStringLiteral("jobs")),
               QRectF(0, 0, 50, 50)),
    };
    const QStringList lines = candidateListLog(windows);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("=== Window picker: 4 candidate windows ==="));
    EXPECT_EQ(lines[1], QStringLiteral("  [42] notes — 'Notes' | 300×200 @ (10,20) ratio=1.50 layer=0 "
                                       "onScreen=true [landscape]"));
    EXPECT_EQ(lines[2],
              QStringLiteral("  [7] (unknown app) — '(no title)' | 100×0 @ (-5,0) ratio=0.00 layer=3 "
                             "onScreen=false [landscape]"));
    EXPECT_EQ(lines[3], QStringLiteral("  [9] tall — '' | 100×300 @ (0,0) ratio=0.33 layer=0 "
                                       "onScreen=true [PORTRAIT ⚠️]"));
    // Titles are written as they are, placeholders included.
    EXPECT_EQ(lines[4], QStringLiteral("  [11] jobs — '100%1 done %2' | 50×50 @ (0,0) ratio=1.00 layer=0 "
                                       "onScreen=true [landscape]"));
    EXPECT_EQ(lines[5], QStringLiteral("=== End window list ==="));
    EXPECT_EQ(candidateListLog({}), (QStringList{QStringLiteral("=== Window picker: 0 candidate windows ==="),
                                                 QStringLiteral("=== End window list ===")}));
}

TEST(WindowPickerRules, APickIsLoggedAndDescribedWithItsFallbacks) {
    const Window named = window(42, QStringLiteral("Notes"), application(QStringLiteral("notes")),
                                QRectF(10, 20, 300.9, 200.2));
    EXPECT_EQ(pickedLine(named), QStringLiteral("Picked: [42] 'Notes' by 'notes' | 300×200"));
    EXPECT_EQ(pickInfo(named), (WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("notes"),
                                               QRectF(10, 20, 300.9, 200.2), 42, true}));
    EXPECT_EQ(windowLabelText(named), QStringLiteral("notes  –  Notes"));

    const Window anonymous = window(7, std::nullopt, std::nullopt, QRectF(0, 0, 50, 60), 0, false);
    EXPECT_EQ(pickedLine(anonymous), QStringLiteral("Picked: [7] '' by '?' | 50×60"));
    EXPECT_EQ(pickInfo(anonymous),
              (WindowPickInfo{QString(), QStringLiteral("Unknown"), QRectF(0, 0, 50, 60), 7, false}));
    EXPECT_EQ(windowLabelText(anonymous), QStringLiteral("Unknown"));

    const Window untitled = window(8, QString(), application(QStringLiteral("term")), QRectF(0, 0, 50, 60));
    EXPECT_EQ(windowLabelText(untitled), QStringLiteral("term"));
    EXPECT_EQ(pickInfo(untitled).title, QString());
}

TEST(WindowPickerRules, TheHitIsTheFrontMostNormalWindowUnderThePoint) {
    const std::vector<WindowServerEntry> list{
        entry(90, QRectF(0, 0, 3840, 1080), 101), // an overlay or popup above everything
        entry(80, QRectF(0, 500, 1920, 40), 20),  // a dock
        entry(1, QRectF(100, 100, 200, 200)),     // front-most normal window
        entry(2, QRectF(150, 150, 400, 400)),     // behind it
    };
    EXPECT_EQ(hitWindow(list, QPointF(160, 160))->windowNumber, 1u);
    EXPECT_EQ(hitWindow(list, QPointF(300, 300))->windowNumber, 2u); // the right edge of 1 is outside it
    EXPECT_EQ(hitWindow(list, QPointF(299.5, 299.5))->windowNumber, 1u);
    EXPECT_EQ(hitWindow(list, QPointF(500, 520))->windowNumber, 2u); // seen through the dock
    EXPECT_FALSE(hitWindow(list, QPointF(1000, 1060)));
    EXPECT_FALSE(hitWindow({}, QPointF(10, 10)));
}

TEST(WindowPickerRules, HoverChangesOnlyWhenTheHoveredCandidateDoes) {
    const Window editor = window(1, QStringLiteral("Editor"), application(QStringLiteral("editor")),
                                 QRectF(100, 100, 200, 200));
    const Window terminal = window(2, QStringLiteral("Terminal"), application(QStringLiteral("term")),
                                   QRectF(150, 150, 400, 400));
    const std::vector<Window> candidates{editor, terminal};

    const HoverChange first = hoverChange(entry(1, QRectF(100, 100, 200, 200)), candidates, std::nullopt);
    ASSERT_EQ(first.kind, HoverChange::Kind::hovered);
    EXPECT_EQ(first.hover->window, editor);
    EXPECT_EQ(first.hover->bounds, QRectF(100, 100, 200, 200));

    // The same window again, even where it has moved since: no change, no redraw.
    const Hover current{editor, QRectF(100, 100, 200, 200)};
    EXPECT_EQ(hoverChange(entry(1, QRectF(120, 100, 200, 200)), candidates, current).kind,
              HoverChange::Kind::unchanged);
    // Another candidate.
    const HoverChange second = hoverChange(entry(2, QRectF(150, 150, 400, 400)), candidates, current);
    ASSERT_EQ(second.kind, HoverChange::Kind::hovered);
    EXPECT_EQ(second.hover->window, terminal);
    // A window in front that is no candidate (ours, say) hides the candidates behind it.
    EXPECT_EQ(hoverChange(entry(99, QRectF(0, 0, 500, 500)), candidates, current).kind,
              HoverChange::Kind::cleared);
    EXPECT_EQ(hoverChange(std::nullopt, candidates, current).kind, HoverChange::Kind::cleared);
    // Nothing hovered before and nothing now.
    EXPECT_EQ(hoverChange(entry(99, QRectF(0, 0, 500, 500)), candidates, std::nullopt).kind,
              HoverChange::Kind::unchanged);
    EXPECT_EQ(hoverChange(std::nullopt, candidates, std::nullopt).kind, HoverChange::Kind::unchanged);
}

TEST(TargetSelection, TheDisplayOfAScreenIsFoundByNameElseTheFirstOne) {
    const std::vector<Display> displays{
        Display{11, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-1")},
        Display{12, 1920, 1080, QRectF(1920, 0, 1920, 1080), QStringLiteral("VIRT-2")},
    };
    EXPECT_EQ(displayForScreen(displays, QStringLiteral("VIRT-2"))->displayID, 12u);
    EXPECT_EQ(displayForScreen(displays, QStringLiteral("HDMI-1"))->displayID, 11u);
    EXPECT_EQ(displayForScreen(displays, QString())->displayID, 11u);
    EXPECT_FALSE(displayForScreen({}, QStringLiteral("VIRT-1")));
}
