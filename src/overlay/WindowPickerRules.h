#pragma once

#include "capture/WindowPickInfo.h"
#include "platform/ShareableContent.h"
#include "platform/WindowServer.h"

#include <optional>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

// What the window picker decides, as plain functions over the listed windows.
namespace backreel::overlay {

// The windows that may be picked, in their order: on screen, at layer 0, more than one point wide
// and high, and not of the application with the given identifier.
std::vector<Window> pickableWindows(const std::vector<Window>& windows, const QString& ownApplicationID);

// The log lines that list every shareable window before the overlay opens.
QStringList candidateListLog(const std::vector<Window>& windows);

// The log line of a picked window.
QString pickedLine(const Window& window);

// What the main window shows of a picked window.
WindowPickInfo pickInfo(const Window& window);

// The text of the label of a highlighted window: its application's name, and its title when it
// has a non-empty one.
QString windowLabelText(const Window& window);

// The front-most window at layer 0 that holds the point (window server space), whatever it is.
std::optional<WindowServerEntry> hitWindow(const std::vector<WindowServerEntry>& list, QPointF point);

// The window under the pointer and its bounds in the window server's space.
struct Hover {
    Window window;
    QRectF bounds;
};

// How the hover state changes with a hit: kept (same window, or nothing before and nothing now),
// set to a newly hovered candidate, or cleared.
struct HoverChange {
    enum class Kind { unchanged, hovered, cleared };
    Kind kind = Kind::unchanged;
    std::optional<Hover> hover; // with hovered
};
HoverChange hoverChange(const std::optional<WindowServerEntry>& hit, const std::vector<Window>& candidates,
                        const std::optional<Hover>& current);

} // namespace backreel::overlay
