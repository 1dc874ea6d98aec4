#pragma once

#include "core/Error.h"

#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace backreel {

// The application's own identifier: windows of processes with it are "ours".
inline const QString kApplicationID = QStringLiteral("com.strandloft.Backreel");

// A monitor that can be captured. displayID is the monitor's stable id (on X11 its name atom).
struct Display {
    std::uint32_t displayID = 0;
    std::int32_t width = 0;  // pixels
    std::int32_t height = 0; // pixels
    QRectF frame;            // global top-left points
    QString name;            // the monitor's name, as QScreen::name() reports it

    friend bool operator==(const Display&, const Display&) = default;
};

struct RunningApplication {
    QString applicationName;
    QString applicationID; // on X11 its windows' WM_CLASS class, or its program's name; empty when unknown
    std::int64_t processID = 0;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

struct Window {
    std::uint32_t windowID = 0;
    std::optional<QString> title;
    std::optional<RunningApplication> owningApplication;
    QRectF frame; // global top-left points, without the window manager's decorations
    int windowLayer = 0; // 0 for normal application windows
    bool isOnScreen = false;

    friend bool operator==(const Window&, const Window&) = default;
};

struct ShareableContent {
    std::vector<Display> displays;
    std::vector<Window> windows;
    std::vector<RunningApplication> applications;
};

using ShareableContentCompletion = std::function<void(Expected<ShareableContent>)>;

} // namespace backreel
