#pragma once

#include "capture/CaptureTarget.h"
#include "platform/ShareableContent.h"

#include <cstdint>
#include <optional>
#include <QRectF>
#include <QString>
#include <vector>

namespace backreel {

// What a launch that buffers at once records again: the last recording's target, by what outlives
// a session. A display by its name; a region by its display's name and rectangle; a window by its
// display, as no window outlives an X11 session.
struct LastTarget {
    enum class Kind { display, window, region };
    Kind kind = Kind::display;
    QString displayName;
    QRectF region;

    friend bool operator==(const LastTarget&, const LastTarget&) = default;
};

// What is kept of a target that started buffering, with the displays there were then.
LastTarget lastTargetOf(const CaptureTarget& target, const std::vector<Display>& displays);

// The target a launch records, and the status note that says what could not come back ("the last
// window cannot come back: recording its display"); empty when all did. Without a last target, or
// with its display gone, the main display.
struct RestoredTarget {
    CaptureTarget target;
    QString note;
};
RestoredTarget restoreTarget(const std::optional<LastTarget>& last, const std::vector<Display>& displays,
                             std::uint32_t mainDisplayID);

// Kept with the other settings.
std::optional<LastTarget> loadLastTarget();
void storeLastTarget(const LastTarget& target);

} // namespace backreel
