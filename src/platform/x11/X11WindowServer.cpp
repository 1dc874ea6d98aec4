#include "platform/x11/X11WindowServer.h"

#include "core/log/Log.h"
#include "platform/x11/X11ShareableContent.h"

namespace backreel {

X11WindowServer::X11WindowServer() = default;
X11WindowServer::~X11WindowServer() = default;

std::uint32_t X11WindowServer::mainDisplayID() {
    x11::X11Connection* c = connection_.get();
    return c != nullptr ? x11::queryDisplays(*c).mainDisplayID() : 0;
}

std::vector<WindowServerEntry> X11WindowServer::windowList() {
    x11::X11Connection* c = connection_.get();
    if (c == nullptr) {
        return {};
    }
    const std::vector<x11::X11WindowInfo> windows = x11::queryClientWindows(*c);
    std::vector<WindowServerEntry> entries;
    entries.reserve(windows.size());
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) { // the stack lists bottom-to-top
        if (!it->isOnScreen) {
            continue;
        }
        entries.push_back(WindowServerEntry{
            it->window, it->layer, QRectF(it->frame.x, it->frame.y, it->frame.width, it->frame.height),
            it->processID});
    }
    return entries;
}

} // namespace backreel
