#pragma once

#include "platform/NotificationMuter.h"

namespace backreel {

// For desktops whose notification server offers no way to mute it: says so once, does nothing.
class NullNotificationMuter final : public NotificationMuter {
public:
    void postMute() override;
    void postUnmute() override {}

private:
    bool told_ = false;
};

} // namespace backreel
