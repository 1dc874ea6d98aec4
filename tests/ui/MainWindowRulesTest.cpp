#include "ui/MainWindowRules.h"

#include "ui/CaptureModeSelection.h"

#include <gtest/gtest.h>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

backreel::Display display(std::uint32_t id) {
    return backreel::Display{id, 1920, 1080, QRectF(0, 0, 1920, 1080), QStringLiteral("VIRT-%1").arg(id)};
}

CaptureTarget windowTarget() {
    return CaptureTarget::window(ContentFilter::desktopIndependentWindow(
        backreel::Window{42, QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0, true}));
}

CaptureTarget regionTarget() {
    return CaptureTarget::region(QRectF(100, 100, 640, 480), display(1));
}

} // namespace

TEST(MainWindowRules, MainButtonFollowsTheStatus) {
    struct Row {
        Kind status;
        const char* title;
        bool enabled;
        MainButtonAction action;
    };
    const Row rows[] = {
        {Kind::idle, "Start Recording", true, MainButtonAction::startRecording},
        {Kind::buffering, "Stop & Save", true, MainButtonAction::stopAndSave},
        {Kind::saving, "Saving…", false, MainButtonAction::none},
        {Kind::saved, "Start Recording", true, MainButtonAction::startRecording},
        {Kind::error, "Start Recording", true, MainButtonAction::startRecording},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(mainButtonTitle(row.status), QString::fromUtf8(row.title));
        EXPECT_EQ(mainButtonEnabled(row.status), row.enabled);
        EXPECT_EQ(mainButtonAction(row.status), row.action);
    }
}

TEST(MainWindowRules, SettingsAreLockedOnlyWhileBuffering) {
    EXPECT_TRUE(settingsEnabled(Kind::idle));
    EXPECT_FALSE(settingsEnabled(Kind::buffering));
    EXPECT_TRUE(settingsEnabled(Kind::saving));
    EXPECT_TRUE(settingsEnabled(Kind::saved));
    EXPECT_TRUE(settingsEnabled(Kind::error));
}

TEST(MainWindowRules, TargetAreaShowsTheScreenPickerOnlyWithTwoOrMoreDisplays) {
    const CaptureTarget target = CaptureTarget::display(display(1));
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::display, target, false, 0), TargetAreaItem::nothing);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::display, target, false, 1), TargetAreaItem::nothing);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::display, target, false, 2), TargetAreaItem::screenPicker);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::display, target, false, 3), TargetAreaItem::screenPicker);
    // The mode decides, not the target: a window target in Full Screen mode still shows the picker.
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::display, windowTarget(), true, 2),
              TargetAreaItem::screenPicker);
}

TEST(MainWindowRules, TargetAreaInWindowModeNeedsAWindowTargetAndItsDescription) {
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::window, windowTarget(), true, 1),
              TargetAreaItem::windowInfo);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::window, windowTarget(), false, 1),
              TargetAreaItem::pickWindowButton);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::window, CaptureTarget::display(), true, 1),
              TargetAreaItem::pickWindowButton);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::window, regionTarget(), true, 1),
              TargetAreaItem::pickWindowButton);
}

TEST(MainWindowRules, TargetAreaInRegionModeNeedsARegionTarget) {
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::region, regionTarget(), false, 2),
              TargetAreaItem::regionInfo);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::region, windowTarget(), true, 2),
              TargetAreaItem::selectRegionButton);
    EXPECT_EQ(targetAreaItem(CaptureModeSelection::region, CaptureTarget::display(display(1)), false, 2),
              TargetAreaItem::selectRegionButton);
}

TEST(MainWindowRules, OnlyFullScreenAwayFromAWindowOrRegionResetsTheTarget) {
    for (const CaptureTarget& target : {windowTarget(), regionTarget()}) {
        EXPECT_TRUE(modeChangeResetsTarget(CaptureModeSelection::display, target));
        EXPECT_FALSE(modeChangeResetsTarget(CaptureModeSelection::window, target));
        EXPECT_FALSE(modeChangeResetsTarget(CaptureModeSelection::region, target));
    }
    for (const CaptureTarget& target : {CaptureTarget::display(), CaptureTarget::display(display(2))}) {
        for (CaptureModeSelection mode : allCaptureModes()) {
            EXPECT_FALSE(modeChangeResetsTarget(mode, target));
        }
    }
}

TEST(MainWindowRules, RecordThisWindowOnlyForDisplayTargets) {
    EXPECT_TRUE(showsRecordThisWindow(CaptureTarget::display()));
    EXPECT_TRUE(showsRecordThisWindow(CaptureTarget::display(display(2))));
    EXPECT_FALSE(showsRecordThisWindow(windowTarget()));
    EXPECT_FALSE(showsRecordThisWindow(regionTarget()));
}

TEST(MainWindowRules, ScreenPickerReadsTheTargetsDisplayOrTheMainOne) {
    EXPECT_EQ(pickerDisplayID(CaptureTarget::display(display(7)), 3), 7u);
    EXPECT_EQ(pickerDisplayID(CaptureTarget::display(), 3), 3u);
    EXPECT_EQ(pickerDisplayID(windowTarget(), 3), 3u);
    EXPECT_EQ(pickerDisplayID(regionTarget(), 3), 3u);
}

TEST(MainWindowRules, ScreenPickerWritesTheFirstListedDisplayWithThatId) {
    backreel::Display twin = display(2);
    twin.name = QStringLiteral("twin");
    const std::vector<backreel::Display> displays = {display(1), display(2), twin};
    EXPECT_EQ(displayTargetFor(2, displays), CaptureTarget::display(display(2)));
    EXPECT_EQ(displayTargetFor(9, displays), CaptureTarget::display());
    EXPECT_EQ(displayTargetFor(1, {}), CaptureTarget::display());
}

TEST(MainWindowRules, RegionLabelTruncatesBothSides) {
    EXPECT_EQ(regionLabel(QRectF(0, 0, 1280.9, 720.2)), QStringLiteral("1280 × 720"));
    EXPECT_EQ(regionLabel(QRectF(5, 5, 99.999, 0.5)), QStringLiteral("99 × 0"));
    EXPECT_EQ(regionLabel(QRectF(0, 0, 3840, 2160)), QStringLiteral("3840 × 2160"));
    // The separator is a space, the multiplication sign U+00D7 and a space.
    EXPECT_EQ(regionLabel(QRectF(0, 0, 1, 2)).at(2), QChar(0x00D7));
}

TEST(MainWindowRules, FirstPositionIsTheTopTrailingCornerOfTheFreeArea) {
    const QRect available(0, 27, 1920, 1053); // a top panel 27 pixels high
    EXPECT_EQ(topTrailingPosition(available, QSize(300, 320), Qt::LeftToRight), QPoint(1620, 27));
    EXPECT_EQ(topTrailingPosition(available, QSize(300, 320), Qt::RightToLeft), QPoint(0, 27));
    // A second monitor to the right.
    EXPECT_EQ(topTrailingPosition(QRect(1920, 0, 2560, 1440), QSize(300, 400), Qt::LeftToRight),
              QPoint(4180, 0));
}

TEST(CaptureModeSelection, RawValuesAndLabelsInPickerOrder) {
    const auto modes = allCaptureModes();
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(rawValue(modes[0]), QStringLiteral("display"));
    EXPECT_EQ(rawValue(modes[1]), QStringLiteral("window"));
    EXPECT_EQ(rawValue(modes[2]), QStringLiteral("region"));
    EXPECT_EQ(label(modes[0]), QStringLiteral("Full Screen"));
    EXPECT_EQ(label(modes[1]), QStringLiteral("Window"));
    EXPECT_EQ(label(modes[2]), QStringLiteral("Region"));
    for (CaptureModeSelection mode : modes) {
        EXPECT_EQ(captureModeFromRawValue(rawValue(mode)), mode);
    }
    EXPECT_EQ(captureModeFromRawValue(QStringLiteral("Display")), std::nullopt);
}
