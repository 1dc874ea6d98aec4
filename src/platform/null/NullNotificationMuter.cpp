#include "platform/null/NullNotificationMuter.h"

#include "core/log/Log.h"

namespace backreel {

void NullNotificationMuter::postMute() {
    if (!told_) {
        told_ = true;
        Logger::recording().info(
            QStringLiteral("[Notifications] This desktop's notification server cannot be muted; notifications stay on"));
    }
}

} // namespace backreel
