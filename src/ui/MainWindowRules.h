#pragma once

#include "capture/CaptureTarget.h"
#include "common/RecordingStatus.h"
#include "platform/ShareableContent.h"
#include "ui/CaptureModeSelection.h"

#include <cstdint>
#include <optional>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

// What the main window shows and allows, as plain functions of the recorder's state, so the
// widgets only follow these answers.
namespace backreel {

// "Start Recording" for idle, saved and error; "Stop & Save" while buffering; "Saving…" while saving.
QString mainButtonTitle(RecordingStatus::Kind status);
// The main button is off only while a save is under way.
bool mainButtonEnabled(RecordingStatus::Kind status);
// "Save Clip" saves from the running buffer: only while buffering.
bool saveClipEnabled(RecordingStatus::Kind status);
// Pickers, the pick and select buttons and the first two options are off while buffering.
bool settingsEnabled(RecordingStatus::Kind status);

// What the main button does for a click in this status.
enum class MainButtonAction { startRecording, stopAndSave, none };
MainButtonAction mainButtonAction(RecordingStatus::Kind status);

// The one item of the capture card's target area.
enum class TargetAreaItem {
    nothing,
    screenPicker,
    pickWindowButton,
    windowInfo,
    selectRegionButton,
    regionInfo
};
TargetAreaItem targetAreaItem(CaptureModeSelection mode, const CaptureTarget& target, bool hasWindowInfo,
                              std::size_t displayCount);

// The target a switch of the Capture picker to `mode` sets, if it changes it: Full Screen away from
// a window or region target starts over with a display still to be chosen (the displays are
// reloaded); Window away from another kind is a window not picked yet, so that Start does not
// record the whole screen in its place. Region keeps the target until a region is dragged.
std::optional<CaptureTarget> targetAfterModeChange(CaptureModeSelection mode, const CaptureTarget& target);

// "Record this window" makes sense only for display targets, and only where the capture can leave
// our windows out: not where the desktop's dialog chooses (the screen-cast portal offers no
// exclusion).
bool showsRecordThisWindow(const CaptureTarget& target, bool choosesInDialog);

// The Screen picker's selection: the target's display, or the main display when none is chosen.
std::uint32_t pickerDisplayID(const CaptureTarget& target, std::uint32_t mainDisplayID);
// The target for a Screen picker choice: the first listed display with that id (none when the id
// is not listed).
CaptureTarget displayTargetFor(std::uint32_t displayID, const std::vector<Display>& displays);

// The width and height of a region in points, truncated (not rounded), joined by " × ".
QString regionLabel(const QRectF& region);

// Where a window of `size` sits in the top-trailing corner of `available` (the screen without
// panels): top-right for left-to-right layouts, top-left for right-to-left ones.
QPoint topTrailingPosition(const QRect& available, const QSize& size, Qt::LayoutDirection direction);

} // namespace backreel
