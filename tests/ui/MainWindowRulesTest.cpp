#include "ui/MainWindowRules.h"

#include "ui/CaptureModeSelection.h"

#include <gtest/gtest.h>

using namespace backreel;
using Kind = RecordingStatus::Kind;
using Mode = CaptureModeSelection;
using Item = TargetAreaItem;

namespace {

backreel::Display display(std::uint32_t id) {
    return backreel::Display{id, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-%1").arg(id)};
}

const CaptureTarget kWindow = CaptureTarget::window(ContentFilter::desktopIndependentWindow(
    backreel::Window{42, QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0, true}));
const CaptureTarget kRegion = CaptureTarget::region(QRectF(100, 100, 640, 480), display(1));

} // namespace

TEST(MainWindowRules, MainButtonAndSettingsFollowTheStatus) {
    struct Row {
        Kind status;
        const char* title;
        bool enabled;
        MainButtonAction action;
        bool settings;
    };
    const Row rows[] = {
        {Kind::idle, "Start Recording", true, MainButtonAction::startRecording, true},
        {Kind::buffering, "Stop & Save", true, MainButtonAction::stopAndSave, false},
        {Kind::saving, "Saving…", false, MainButtonAction::none, true},
        {Kind::saved, "Start Recording", true, MainButtonAction::startRecording, true},
        {Kind::error, "Start Recording", true, MainButtonAction::startRecording, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.status));
        EXPECT_EQ(mainButtonTitle(row.status), QString::fromUtf8(row.title));
        EXPECT_EQ(mainButtonEnabled(row.status), row.enabled);
        EXPECT_EQ(mainButtonAction(row.status), row.action);
        EXPECT_EQ(settingsEnabled(row.status), row.settings);
    }
}

// The mode decides what the target area shows; the target only whether there is something to
// describe.
TEST(MainWindowRules, TargetAreaShowsOneItemPerModeAndTarget) {
    struct Row {
        Mode mode;
        CaptureTarget target;
        bool windowInfo;
        std::size_t displays;
        Item item;
    };
    const Row rows[] = {
        {Mode::display, CaptureTarget::display(display(1)), false, 1, Item::nothing},
        {Mode::display, CaptureTarget::display(display(1)), false, 2, Item::screenPicker},
        {Mode::display, kWindow, true, 2, Item::screenPicker},
        {Mode::window, kWindow, true, 1, Item::windowInfo},
        {Mode::window, kWindow, false, 1, Item::pickWindowButton},
        {Mode::window, CaptureTarget::display(), true, 1, Item::pickWindowButton},
        {Mode::window, kRegion, true, 1, Item::pickWindowButton},
        {Mode::region, kRegion, false, 2, Item::regionInfo},
        {Mode::region, kWindow, true, 2, Item::selectRegionButton},
        {Mode::region, CaptureTarget::display(display(1)), false, 2, Item::selectRegionButton},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(targetAreaItem(row.mode, row.target, row.windowInfo, row.displays), row.item)
            << rawValue(row.mode).toStdString() << " " << row.displays;
    }
}

TEST(MainWindowRules, TargetRulesOfTheModeAndScreenPickers) {
    // Only Full Screen away from a window or region resets the target.
    for (const CaptureTarget& target : {kWindow, kRegion}) {
        EXPECT_TRUE(modeChangeResetsTarget(Mode::display, target));
        EXPECT_FALSE(modeChangeResetsTarget(Mode::window, target));
        EXPECT_FALSE(modeChangeResetsTarget(Mode::region, target));
    }
    for (Mode mode : allCaptureModes()) {
        EXPECT_FALSE(modeChangeResetsTarget(mode, CaptureTarget::display(display(2))));
    }
    EXPECT_TRUE(showsRecordThisWindow(CaptureTarget::display()));
    EXPECT_FALSE(showsRecordThisWindow(kWindow));
    EXPECT_FALSE(showsRecordThisWindow(kRegion));
    // The Screen picker reads the target's display or the main one, and writes the first listed
    // display with the chosen id.
    EXPECT_EQ(pickerDisplayID(CaptureTarget::display(display(7)), 3), 7u);
    EXPECT_EQ(pickerDisplayID(kRegion, 3), 3u);
    backreel::Display twin = display(2);
    twin.name = QStringLiteral("twin");
    EXPECT_EQ(displayTargetFor(2, {display(1), display(2), twin}), CaptureTarget::display(display(2)));
    EXPECT_EQ(displayTargetFor(9, {display(1)}), CaptureTarget::display());
}

TEST(MainWindowRules, RegionLabelsAndTheFirstPosition) {
    EXPECT_EQ(regionLabel(QRectF(0, 0, 1280.9, 720.2)), QStringLiteral("1280 × 720"));
    EXPECT_EQ(regionLabel(QRectF(5, 5, 99.999, 0.5)), QStringLiteral("99 × 0"));
    // The top-trailing corner of the free area, here below a top panel 27 pixels high.
    const QRect available(0, 27, 1920, 1053);
    EXPECT_EQ(topTrailingPosition(available, QSize(300, 320), Qt::LeftToRight), QPoint(1620, 27));
    EXPECT_EQ(topTrailingPosition(available, QSize(300, 320), Qt::RightToLeft), QPoint(0, 27));
    EXPECT_EQ(topTrailingPosition(QRect(1920, 0, 2560, 1440), QSize(300, 400), Qt::LeftToRight),
              QPoint(4180, 0));
}

// The labels the picker shows, in this order; the raw value each item carries leads back to its mode.
TEST(CaptureModeSelection, RawValuesAndLabelsInPickerOrder) {
    QStringList shown;
    for (Mode mode : allCaptureModes()) {
        shown << rawValue(mode) + QLatin1Char('=') + label(mode);
        EXPECT_EQ(captureModeFromRawValue(rawValue(mode)), mode);
    }
    EXPECT_EQ(shown, (QStringList{QStringLiteral("display=Full Screen"), QStringLiteral("window=Window"),
                                  QStringLiteral("region=Region")}));
    EXPECT_EQ(captureModeFromRawValue(QStringLiteral("Display")), std::nullopt);
}
