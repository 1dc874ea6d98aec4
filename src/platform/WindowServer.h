#pragma once

#include <QRectF>

#include <cstdint>
#include <vector>

namespace backreel {

// One on-screen window as the window server stacks it.
struct WindowServerEntry {
    std::uint32_t windowNumber = 0; // the window id, as in Window::windowID
    int layer = 0;                  // 0 for normal application windows
    QRectF bounds;                  // global top-left points, without decorations
    std::int64_t ownerProcessID = 0; // 0 when unknown

    friend bool operator==(const WindowServerEntry&, const WindowServerEntry&) = default;
};

// The window server's view of the desktop. Main thread.
class WindowServer {
public:
    virtual ~WindowServer() = default;
    // The display id of the main (primary) display, 0 when there is none.
    virtual std::uint32_t mainDisplayID() = 0;
    // Every on-screen window, front-most first.
    virtual std::vector<WindowServerEntry> windowList() = 0;
};

} // namespace backreel
