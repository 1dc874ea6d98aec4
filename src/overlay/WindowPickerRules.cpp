#include "overlay/WindowPickerRules.h"

#include "overlay/OverlayGeometry.h"
#include "core/log/Log.h"

#include <algorithm>

namespace backreel::overlay {

namespace {
// Sizes and places are logged as whole points, cut towards zero.
long whole(double value) {
    return static_cast<long>(value);
}

QString applicationName(const Window& window, const QString& ifNone) {
    return window.owningApplication ? window.owningApplication->applicationName : ifNone;
}
} // namespace

std::vector<Window> pickableWindows(const std::vector<Window>& windows, const QString& ownApplicationID) {
    std::vector<Window> candidates;
    std::copy_if(windows.begin(), windows.end(), std::back_inserter(candidates), [&](const Window& window) {
        return window.isOnScreen && window.windowLayer == 0 && window.frame.width() > 1.0 &&
               window.frame.height() > 1.0 &&
               (!window.owningApplication ||
                window.owningApplication->applicationID != ownApplicationID);
    });
    return candidates;
}

QStringList candidateListLog(const std::vector<Window>& windows) {
    QStringList lines;
    lines << QStringLiteral("=== Window picker: %1 candidate windows ===").arg(windows.size());
    for (const Window& window : windows) {
        const QRectF& frame = window.frame;
        const double ratio = frame.height() > 0 ? frame.width() / frame.height() : 0.0;
        const QString orientation =
            frame.height() <= frame.width() ? QStringLiteral("landscape") : QStringLiteral("PORTRAIT ⚠️");
        // One substitution pass, so that a title holding "%1" stays as it is.
        lines << QStringLiteral("  [%1] %2 — '%3' | %4×%5 @ (%6,%7) ratio=%8 layer=%9 onScreen=%10 [%11]")
                     .arg(QString::number(window.windowID),
                          applicationName(window, QStringLiteral("(unknown app)")),
                          window.title.value_or(QStringLiteral("(no title)")),
                          QString::number(whole(frame.width())), QString::number(whole(frame.height())),
                          QString::number(whole(frame.x())), QString::number(whole(frame.y())),
                          fixed(ratio, 2), QString::number(window.windowLayer), boolText(window.isOnScreen),
                          orientation);
    }
    lines << QStringLiteral("=== End window list ===");
    return lines;
}

QString pickedLine(const Window& window) {
    return QStringLiteral("Picked: [%1] '%2' by '%3' | %4×%5")
        .arg(QString::number(window.windowID), window.title.value_or(QString()),
             applicationName(window, QStringLiteral("?")), QString::number(whole(window.frame.width())),
             QString::number(whole(window.frame.height())));
}

WindowPickInfo pickInfo(const Window& window) {
    return WindowPickInfo{window.title.value_or(QString()),
                          applicationName(window, QStringLiteral("Unknown")), window.frame, window.windowID,
                          window.isOnScreen};
}

QString windowLabelText(const Window& window) {
    const QString name = applicationName(window, QStringLiteral("Unknown"));
    if (!window.title || window.title->isEmpty()) {
        return name;
    }
    return name + QStringLiteral("  –  ") + *window.title;
}

std::optional<WindowServerEntry> hitWindow(const std::vector<WindowServerEntry>& list, QPointF point) {
    for (const WindowServerEntry& entry : list) {
        if (entry.layer == 0 && containsPoint(entry.bounds, point)) {
            return entry;
        }
    }
    return std::nullopt;
}

HoverChange hoverChange(const std::optional<WindowServerEntry>& hit, const std::vector<Window>& candidates,
                        const std::optional<Hover>& current) {
    if (hit) {
        const auto candidate = std::find_if(candidates.begin(), candidates.end(), [&](const Window& window) {
            return window.windowID == hit->windowNumber;
        });
        if (candidate != candidates.end()) {
            if (current && current->window.windowID == candidate->windowID) {
                return {}; // the same window: its stored bounds stay as they were
            }
            return {HoverChange::Kind::hovered, Hover{*candidate, hit->bounds}};
        }
    }
    if (!current) {
        return {};
    }
    return {HoverChange::Kind::cleared, std::nullopt};
}

} // namespace backreel::overlay
