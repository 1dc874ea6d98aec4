#pragma once

#include "platform/WindowServer.h"
#include "platform/x11/ReopeningConnection.h"

namespace backreel {

// The window server of an X11 session: the primary RandR monitor and the managed (or, without a
// window manager, top-level) client windows. Main thread; each call makes a few round trips on a
// connection of its own, opened at the first call and again after it broke.
class X11WindowServer final : public WindowServer {
public:
    X11WindowServer();
    ~X11WindowServer() override;

    std::uint32_t mainDisplayID() override;
    std::vector<WindowServerEntry> windowList() override;

private:
    x11::ReopeningConnection connection_{QStringLiteral("WindowServer")};
};

} // namespace backreel
