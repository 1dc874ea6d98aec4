#pragma once

#include "capture/WindowPickInfo.h"
#include "core/Error.h"
#include "core/log/Log.h"
#include "platform/Platform.h"
#include "platform/ShareableContent.h"

#include <optional>
#include <QCoroTask>
#include <QString>
#include <vector>

namespace backreel {

class RecordingManager;

// What the main window says of a window target where the desktop's dialog chooses the window.
inline const WindowPickInfo kWindowChosenAtStart{
    QString(), QStringLiteral("Chosen when the recording starts"), QRectF(), 0, false};

// The window pick flow: queries the shareable content, logs every window to `log`, runs the window
// picker on the platform's windows and screen pictures and makes the picked window the manager's
// target (with its description). Completes with the query's error, before anything is shown, when
// it fails; after Esc nothing changes. Where the desktop's dialog chooses, the target is a window
// still to be chosen there, at the start, and nothing is shown now. Main thread.
QCoro::Task<MaybeError> pickWindowTarget(RecordingManager& manager, Platform platform, Logger log);

// The region selection flow: runs the region selector, then queries the shareable content and makes
// the selected rectangle of the display under it the manager's target. Completes with the query's
// error, after the overlay has closed, when it fails; after Esc nothing changes. Where the
// desktop's dialog chooses, the dialog asks for the display first (a cancelled dialog changes
// nothing), then the selector runs on the screen that shows it, over a still picture of it from
// its stream, and the rectangle is kept in that display's points; a stream that sends no picture
// ends the flow with its error. Main thread.
QCoro::Task<MaybeError> selectRegionTarget(RecordingManager& manager, Platform platform);

// The display a screen shows: the first with the screen's name, else the first of all; none when
// there are no displays.
std::optional<Display> displayForScreen(const std::vector<Display>& displays, const QString& screenName);

} // namespace backreel
