#pragma once

#include <cstdint>

namespace backreel {

// The window server's view of the desktop. Main thread.
class WindowServer {
public:
    virtual ~WindowServer() = default;
    // The display id of the main (primary) display, 0 when there is none.
    virtual std::uint32_t mainDisplayID() = 0;
};

} // namespace backreel
