#include "ui/MainWindowRules.h"

#include "support/WidgetTest.h"
#include "ui/CaptureModeSelection.h"
#include "ui/DisplayName.h"

using namespace backreel;
using test::display;
using Mode = CaptureModeSelection;
using Item = TargetAreaItem;

const CaptureTarget kWindow = CaptureTarget::window(ContentFilter::window(
    backreel::Window{42, QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0, true}));
const CaptureTarget kRegion = CaptureTarget::region(QRectF(100, 100, 640, 480), display(1));
const CaptureTarget kDisplay = CaptureTarget::display(display(1));

// The mode decides what the target area shows; the target only whether there is something to describe.
TEST(MainWindowRules, TargetAreaShowsOneItemPerModeAndTarget) {
    const std::tuple<Mode, CaptureTarget, bool, std::size_t, Item> rows[] = {
        {Mode::display, kDisplay, false, 1, Item::nothing},
        {Mode::display, kWindow, true, 2, Item::screenPicker},
        {Mode::window, kWindow, true, 1, Item::windowInfo},
        {Mode::window, kWindow, false, 1, Item::pickWindowButton},
        {Mode::window, kRegion, true, 1, Item::pickWindowButton},
        {Mode::region, kRegion, false, 2, Item::regionInfo},
        {Mode::region, kWindow, true, 2, Item::selectRegionButton},
        {Mode::region, kDisplay, false, 2, Item::selectRegionButton},
    };
    for (const auto& [mode, target, windowInfo, displays, item] : rows) {
        EXPECT_EQ(targetAreaItem(mode, target, windowInfo, displays), item)
            << label(mode).toStdString() << displays;
    }

    // "Record this window" only for displays, not where the desktop's dialog chooses; the window shows
    // first in the top-trailing corner; a display is named by its screen and model, else its number.
    EXPECT_TRUE(showsRecordThisWindow(kDisplay, false));
    EXPECT_FALSE(showsRecordThisWindow(kDisplay, true) || showsRecordThisWindow(kWindow, false) ||
                 showsRecordThisWindow(kRegion, false));

    EXPECT_EQ(topTrailingPosition(QRect(0, 27, 1920, 1053), QSize(300, 320), Qt::LeftToRight),
              QPoint(1620, 27));
    EXPECT_EQ(topTrailingPosition(QRect(0, 27, 1920, 1053), QSize(300, 320), Qt::RightToLeft), QPoint(0, 27));

    // A display in the Screen picker is named by the screen of its name, with the monitor's model, else
    // by its number.
    const std::vector<ScreenDescription> screens = {{QStringLiteral("DP-1"), QStringLiteral("DELL U2720Q")}};
    EXPECT_EQ(displayName(display(11, QStringLiteral("DP-1")), screens),
              QStringLiteral("DP-1 (DELL U2720Q)"));
    EXPECT_EQ(displayName(display(12, QStringLiteral("HDMI-9")), screens), QStringLiteral("Display 12"));
}
