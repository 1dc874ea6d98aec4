#pragma once

#include <QRectF>
#include <QString>

#include <cstdint>

namespace backreel {

// What the user picked on the window overlay, for display in the main window.
struct WindowPickInfo {
    QString title;
    QString appName;
    QRectF frame;
    std::uint32_t windowID = 0;
    bool isOnScreen = false;

    friend bool operator==(const WindowPickInfo&, const WindowPickInfo&) = default;
};

} // namespace backreel
