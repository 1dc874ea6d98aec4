#pragma once

#include "platform/WindowServer.h"

namespace backreel {

class NullWindowServer final : public WindowServer {
public:
    std::uint32_t mainDisplayID() override { return 0; }
    std::vector<WindowServerEntry> windowList() override { return {}; }
};

} // namespace backreel
